// Freeing DirectShow media types, which the camera plug-in receives and the camera filter hands
// out: the rules are the platform's, and both deliverables keep them the same way.
#pragma once

#include <dshow.h>

// Frees what a type holds (its format block and its object), not the type itself.
void ClearMediaType(AM_MEDIA_TYPE& type);
// Frees a type handed out in a block of its own, with what it holds; null is allowed.
void FreeMediaType(AM_MEDIA_TYPE* type);
