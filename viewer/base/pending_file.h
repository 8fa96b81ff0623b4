// A new version of a file is written beside it under a pending name and takes the file's place only
// once whole, so a failure, a full disk or a killed process leaves the earlier version as it was.
#pragma once

#include <string>

// The pending name of fileName: ".tmp" before its extension ("capture.avi" gives
// "capture.tmp.avi"), in the same folder, so the rename stays on one file system and the name keeps
// its file type.
std::string PendingFileName(const std::string& fileName);

// Moves the pending file over fileName in one step; false leaves both as they were.
bool PutPendingFile(const std::string& fileName);

// Removes the pending file of fileName, if there is one.
void DiscardPendingFile(const std::string& fileName);
