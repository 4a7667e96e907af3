// Skarvel: typed access to an INI settings file kept beside the host's executable.
//
// A CSkarvel object stands for one file, named at construction and placed in
// the directory of the program that started the process. It creates the file
// empty when it is missing and then reads and writes text, integer and real
// values by section and key. Every call goes to the platform's profile store
// afresh: the object holds no open file and caches nothing, so what one object
// writes, another object (or process) reads at once.
//
// All strings are narrow and terminated, in the system code page (UTF-8 on
// Linux). They are lent to the object for one call only.
//
// A call that fails leaves errno saying why, as the C library's functions do: a read
// that answers false, a write that answers 0, and a construction that leaves the
// object without a path or can neither open nor create the file. ENOENT: no such key,
// section or file, an empty value, or a missing directory; EACCES: the file refused
// (a read-only or unreadable file, a path that names a directory); ENOSPC: no space
// left; EINVAL: a null buffer or a size of 0, an object without a path, a null file
// name, or text that a write refuses; ENAMETOOLONG: a path that would not fit;
// ENOMEM, EIO and others: further failures of the system. A call that succeeds may
// change errno too.
#pragma once

#if defined(_WIN32)
#if defined(SKARVEL_BUILDING)
#define SKARVEL_API __declspec(dllexport)
#else
#define SKARVEL_API __declspec(dllimport)
#endif
#else
#define SKARVEL_API __attribute__((visibility("default")))
#endif

class CSkarvel {
public:
    // Capacity of the profile path, terminator included.
    static constexpr unsigned long kPathCapacity = 256;

    // Composes the profile path "<host directory>//<fileName>" and creates the
    // file empty when it is missing (IsNewFile() then answers true). `fileName` is
    // only read, and used as given: a relative directory part is taken from the
    // host directory, and no directory is made. Nothing is reported: a file that
    // could be neither opened nor created shows in the answers of later calls.
    // A null name, or a path that would not fit kPathCapacity - 1 characters,
    // leaves the object without a path: every read then answers false and every
    // write 0, and no file is touched.
    SKARVEL_API CSkarvel(char* fileName);
    // Does nothing: no file is held open, and the file stays.
    SKARVEL_API ~CSkarvel();

    // Copying, by construction or assignment, copies the path, the flag and the
    // handle value; no file is touched and no probe runs. The copy constructor is
    // the compiler's own, declared only so that hosts get no deprecation warning.
    CSkarvel(const CSkarvel& other) = default;
    SKARVEL_API CSkarvel& operator=(const CSkarvel& other);

    // Reads the value of `key` in `section` into `buffer`, which holds `size`
    // characters, terminator included; the value is cut to size - 1 characters
    // when longer. True when a non-empty value was delivered. False for a missing
    // key, section or file, or an empty value: the buffer then holds the empty
    // string. A null buffer or a size of 0 answers false and writes nothing.
    // A null section delivers the file's section names instead, a null key the
    // section's key names: each name terminated, the list ending in one more
    // terminator. A list is whole only with a character to spare: one that does not
    // fit, or fills the buffer exactly, is cut and ends in two terminators, as on
    // Windows. Empty names are not listed. The answer is then true when there is at
    // least one name.
    SKARVEL_API bool GetString(const char* section, const char* key, char* buffer,
                               unsigned long size);

    // Stores `value` under `key` in `section`, creating the file (not its
    // directory), the section and the key as needed. A null value removes the key;
    // a null key removes the whole section; removing what is not there succeeds.
    // Nonzero on success. Answers 0 and changes nothing when the store fails (a
    // read-only file, a missing directory), for a null section, and when a name or
    // the value could not be read back as written: a CR or LF in any of them, or a
    // key that contains '=' or starts with '[' or ';'.
    SKARVEL_API int WriteString(const char* section, const char* key, const char* value);

    // Reads the key's value as an integer into `value`: after leading blanks and an
    // optional sign, decimal digits, or hexadecimal after 0x, binary after 0b and
    // octal after 0o, up to the first other character; text without digits reads
    // as 0, and larger numbers wrap modulo 2^32. True, with `value` set, when the
    // key has a non-empty value. False, with `value` untouched, when the key is
    // missing or its value empty. One read of the store settles the call unless it
    // answers 1, which a second read confirms, so a key that another writer
    // rewrites meanwhile is found, unless a stored 1 turns into 2 between the two
    // reads. A null section or key reads the first name that GetString would list
    // as the number's text.
    SKARVEL_API bool GetInt(const char* section, const char* key, int& value);

    // Stores `value` as decimal text ("%d": -42). Answers, and takes null
    // arguments, as WriteString: a null key removes the whole section.
    SKARVEL_API int WriteInt(const char* section, const char* key, int value);

    // Reads the key's value as a real into `value`: the longest leading part of the
    // form [sign] digits [point digits] [e [sign] digits], or inf, infinity or nan
    // in any case; other text reads as 0, and values beyond the float range as
    // infinities. The point is the current C numeric locale's, and only the first
    // 127 characters of the value are read. True, with `value` set, when the key has
    // a non-empty value; false, with `value` untouched, otherwise. A null section or
    // key reads the first name that GetString would list as the number's text.
    SKARVEL_API bool GetFloat(const char* section, const char* key, float& value);

    // Stores `value` in fixed notation with six decimals ("%f": 1.500000), or as
    // inf, -inf or nan, with the current C numeric locale's point. Answers, and
    // takes null arguments, as WriteString: a null key removes the whole section.
    SKARVEL_API int WriteFloat(const char* section, const char* key, float value);

    // True when construction created the file: a host typically writes its
    // defaults then. False when the file was there, or could not be created.
    bool IsNewFile() const { return m_bNewFile; }

    // The profile path, or the empty string when the object has none.
    const char* GetPath() const { return m_szPath; }

private:
    bool m_bNewFile;
    void* m_hFile;  // the creation probe's handle, closed before construction ends
    char m_szPath[kPathCapacity];
};
