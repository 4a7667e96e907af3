// The checks that keep the store from writing text it would not read back.
#pragma once

namespace skarvel {

// True when the store can write these strings as they are and read them back
// unchanged: no CR or LF anywhere, and a key that holds no '=' and does not
// start (after blanks) with '[' or ';'. The store writes names and values raw,
// so such text would otherwise split the line or start a new section or a
// comment. Null pointers pass: they ask for listings and deletions.
bool ReadsBackAsWritten(const char* section, const char* key, const char* value);

// True when `name` holds a character other than the blanks the store trims: a blank
// name can be written, but no listing shows it.
bool HasNonBlank(const char* name);

// True when the store would read `value` back otherwise than written: reads trim the
// blanks at a value's ends and remove a quote character that stands at both ends.
// Such a value, enclosed in double quotes, reads back as written.
bool NeedsQuotes(const char* value);

// True when the store takes `name` for the name `listed`, as a listing gives it:
// without the blanks at its ends, and with ASCII letters in either case.
bool NamesMatch(const char* name, const char* listed);

}  // namespace skarvel
