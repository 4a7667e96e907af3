// The profile file on disk: the store's read path and write path.
//
// Read path: path -> status -> kept content, when the file provably has not changed; or
// path -> bytes -> text -> content (the text and its index), which the text read reuses when
// it is the same as the last content's. Write path: lock -> bytes -> text -> index -> edit ->
// temporary file -> fsync -> rename. Every other part of the store reaches the disk through
// these two functions.
#pragma once

#include <memory>

#include "IniEdit.h"
#include "Platform.h"
#include "ProfileContent.h"

namespace skarvel {

// The file's current content, or null (with the thread's last error set) when there is no
// readable regular file at `path`. The content may be one kept from an earlier call, while the
// file provably has not changed since, or while its text is the same as that content's.
std::shared_ptr<const ProfileContent> LoadProfile(const char* path);

// Drops every kept content; later loads read and parse their files afresh.
void ForgetLoadedProfiles();

// Applies `edit` to the file's current content under the file's exclusive lock and replaces
// the file atomically when the text changed. A missing file is created. TRUE on success (a
// change or none), FALSE with the thread's last error set when the file cannot be written.
BOOL EditProfile(const char* path, const IniEdit& edit);

}  // namespace skarvel
