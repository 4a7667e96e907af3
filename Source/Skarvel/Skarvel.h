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
    // file empty when it is missing (IsNewFile() then answers true). The name is
    // used as given; a relative directory part is taken from the host directory.
    // A null name, or a path that would not fit kPathCapacity - 1 characters,
    // leaves the object without a path: every read then answers false and every
    // write 0, and no file is touched.
    SKARVEL_API CSkarvel(char* fileName);
    SKARVEL_API ~CSkarvel();

    // Copying, by construction or assignment, copies the path, the flag and the
    // handle value; no file is touched and no probe runs. The copy constructor is
    // the compiler's own, declared only so that hosts get no deprecation warning.
    CSkarvel(const CSkarvel& other) = default;
    SKARVEL_API CSkarvel& operator=(const CSkarvel& other);

    // Reads the value of `key` in `section` into `buffer` (capacity `size`,
    // terminator included), cut to size - 1 characters when longer. True when a
    // non-empty value was delivered. False for a missing key, section or file, an
    // empty value, a null buffer or a size of 0; the buffer then holds the empty
    // string (nothing is written when it is null or `size` is 0). A null section
    // lists the file's section names instead, a null key the section's key names:
    // each name terminated, the list ending in one more terminator.
    SKARVEL_API bool GetString(const char* section, const char* key, char* buffer,
                               unsigned long size);

    // Stores `value` under `key` in `section`, creating the file, section and key
    // as needed. A null value removes the key; a null key removes the section.
    // Nonzero on success. Answers 0 and changes nothing when the store fails, or
    // when a name or the value could not be read back as written: a CR or LF in
    // any of them, or a key that contains '=' or starts with '[' or ';'.
    SKARVEL_API int WriteString(const char* section, const char* key, const char* value);

    // Reads the key as a decimal integer into `value`. True, with `value` set,
    // when the store reads the key as a number (text without digits reads as 0);
    // false, with `value` untouched, when the key is missing or empty.
    SKARVEL_API bool GetInt(const char* section, const char* key, int& value);

    // Stores `value` as decimal text ("%d"). Answers as WriteString.
    SKARVEL_API int WriteInt(const char* section, const char* key, int value);

    // Reads the key as a decimal real into `value`: the longest leading part of
    // the form [sign] digits [point digits] [e [sign] digits], or inf, infinity
    // or nan in any case; other text reads as 0. True, with `value` set, when the
    // key has a non-empty value; false, with `value` untouched, otherwise.
    SKARVEL_API bool GetFloat(const char* section, const char* key, float& value);

    // Stores `value` in fixed notation with six decimals ("%f"), or as inf, -inf
    // or nan. Answers as WriteString.
    SKARVEL_API int WriteFloat(const char* section, const char* key, float value);

    // True when construction created the file: a host typically writes its
    // defaults then.
    bool IsNewFile() const { return m_bNewFile; }

    // The profile path, or the empty string when the object has none.
    const char* GetPath() const { return m_szPath; }

private:
    bool m_bNewFile;
    void* m_hFile;  // the creation probe's handle, closed before construction ends
    char m_szPath[kPathCapacity];
};
