// The files the store keeps beside a settings file: the writers' lock file and the
// temporary files that new contents are written to before they replace the file.
#pragma once

#include <cstddef>
#include <string>

namespace skarvel {

// Each companion lies in the settings file's directory and is named "." + the file's name
// (or a hash of it, for a name too long to take more) + a suffix.

// The writers' lock file: created once, never renamed or removed.
std::string LockPathFor(const std::string& finalPath);

// A temporary file's name is this prefix and a random tag that no other user can guess.
std::string TemporaryPathFor(const std::string& finalPath, const std::string& tag);

// The one fixed temporary name earlier versions of the store used.
std::string LegacyTemporaryPathFor(const std::string& finalPath);

constexpr std::size_t kTemporaryTagLength = 16;

// A fresh random tag of kTemporaryTagLength lowercase hexadecimal digits; empty when the
// system has no randomness to give.
std::string RandomTemporaryTag();

// True for text that RandomTemporaryTag could have made.
bool IsTemporaryTag(const std::string& tag);

// Removes the file at `path` only when it is a regular file of this process's user with no
// other name: what a killed writer of this user left, never another user's file or a link
// to one.
void RemoveOwnLeftover(const std::string& path);

}  // namespace skarvel
