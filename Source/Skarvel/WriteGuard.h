// The check that keeps the store from writing text it would not read back.
#pragma once

namespace skarvel {

// True when the store can write these strings as they are and read them back
// unchanged: no CR or LF anywhere, and a key that holds no '=' and does not
// start (after blanks) with '[' or ';'. The store writes names and values raw,
// so such text would otherwise split the line or start a new section or a
// comment. Null pointers pass: they ask for listings and deletions.
bool ReadsBackAsWritten(const char* section, const char* key, const char* value);

}  // namespace skarvel
