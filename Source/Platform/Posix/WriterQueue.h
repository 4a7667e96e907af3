// Writers of one settings file take turns in the order they came.
//
// The settings file itself cannot hold that order: each write replaces it by rename, so a
// writer that waited on the old file's lock wakes to find another file at the name and must
// start again, and under load some writer loses that race again and again. The queue lives
// in a companion lock file beside it that is never renamed: a writer draws the next ticket
// under a brief lock, holds a lock on its ticket's byte while it waits and writes, and waits
// only for the byte of the ticket before its own. A killed writer's locks go with it, so the
// queue never stalls behind a dead process.
//
// A turn orders writers; it is not what keeps them apart. Writers still take the settings
// file's own lock and check that the name still names it, which excludes earlier versions
// of the store, outside programs that replace the file, and writers that could not use the
// lock file, as before.
#pragma once

#include <sys/stat.h>

#include <string>

#include "Descriptor.h"
#include "FileLocks.h"

namespace skarvel {

class WriterTurn {
public:
    // Waits for this writer's turn at the settings file `finalPath`, whose status is
    // `settings` when it exists. Without a usable lock file (a directory this process may
    // not write, or a file there that another user planted) the turn is not held and the
    // writer relies on the settings file's own lock alone.
    WriterTurn(const std::string& finalPath, const struct stat* settings);
    WriterTurn(const WriterTurn&) = delete;
    WriterTurn& operator=(const WriterTurn&) = delete;
    ~WriterTurn() = default;  // members release the ticket's lock, then close the file

    bool Held() const { return ticket_.Held(); }

    // The holder notes the tag of the temporary it is about to create, so that the next
    // writer can remove it should this one be killed before it renamed it.
    void NoteTemporary(const std::string& tag);
    void ForgetTemporary();
    // The tag a writer before noted and did not forget; empty when none.
    std::string NotedTemporary() const;

private:
    bool Open(const std::string& finalPath, const struct stat* settings);
    void Wait();

    Descriptor file_;
    ByteLock ticket_;
};

}  // namespace skarvel
