// Whether an AVI file was finished: a writer that stopped early (a full disk, a file-size limit, a
// kill) leaves a file whose chunks claim more than it holds, or one without its index.
#pragma once

#include <string>

// True when fileName is a RIFF "AVI " file holding its header list ("hdrl", first), its movie
// list ("movi") and its index ("idx1"), possibly followed by RIFF "AVIX" parts (whose index lives
// in the header list instead), and when the file holds every byte these chunks claim.
bool IsWholeAviFile(const std::string& fileName);
