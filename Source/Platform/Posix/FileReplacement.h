// Putting a settings file's new bytes in place: by an atomic replacement where it keeps the
// file as it was, and by a rewrite in place where only that does.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

namespace skarvel {

class WriterTurn;

// A file's bytes as the pieces that, joined in order, make them.
using BytePieces = std::vector<std::string_view>;

enum class Replacement {
    Done,
    Failed,       // errno tells why; the file is as it was
    NotPossible,  // nothing changed: only a rewrite in place would keep the file as it is
};

// Writes `bytes` to a new temporary file beside the file at `finalPath`, gives it the file's
// permission bits, owner and group, makes it durable and renames it over the file. The rename
// is made durable by SyncDirectory, which the caller calls once it has let the next writer in:
// the file is whole, old or new, at every moment either way. The temporary is created exclusively, under a name no other user can
// guess, and is readable by this user alone until it is complete. NotPossible where the
// result would not be the same file to its users: another user's file (only its owner or root
// can give a new file that owner), a group this user cannot give, or a directory this user
// may not write.
Replacement ReplaceFile(const std::string& finalPath, const struct stat& original,
                        const BytePieces& bytes, WriterTurn& turn);

// Makes the renames that replaced files in `directory` durable.
void SyncDirectory(const std::string& directory);

// Rewrites the open file `fd`, whose status is `original`, with `bytes` in place: room for
// them is reserved first, so that a full disk refuses the write before any byte changes;
// then one write from the start, the new size and an fsync. Readers wait while the bytes
// change. A crash in the middle can leave the file part old, part new, as on Windows.
// False with errno set on failure.
bool RewriteInPlace(int fd, const struct stat& original, const BytePieces& bytes);

// Removes what killed writers of this user left beside the file: the temporary that the
// turn's previous holder noted, and the fixed-name temporary of earlier versions. Only for a
// writer that holds the file's lock, when no other writer can be filling one.
void RemoveLeftoverTemporaries(const std::string& finalPath, WriterTurn& turn);

}  // namespace skarvel
