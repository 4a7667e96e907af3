/* skarvel_profile.h: INI settings files at any path, through a C interface.
 *
 * The same store as the CSkarvel class (Skarvel.h): on Windows the system's
 * profile functions, on Linux the library's own implementation of them, with
 * the same answers, byte-preserving edits and safe concurrent writes. This
 * header compiles as C99 and as C++, and every name in it starts with skarvel_
 * or SKARVEL_.
 *
 * Strings are UTF-8 and terminated, on every platform; they are lent for one
 * call only. On Linux bytes pass as they are. On Windows text that is no UTF-8
 * is refused, and the system keeps text in UTF-16: a value written to a missing
 * file makes it a UTF-16 file, while an existing narrow file keeps the ANSI code
 * page, in which characters outside it become '?'.
 *
 * Every call answers a skarvel_status. A call that fails also leaves a Win32
 * error code for skarvel_GetLastError() and, on Linux, errno (ENOENT, EACCES,
 * ENOSPC, EINVAL, ERANGE, ...); a call that succeeds may change either. Both
 * are kept per thread. An open profile holds no file open and caches nothing:
 * every call asks the store afresh, so a change made by another process is seen
 * by the next call. A profile may be used by several threads at once.
 *
 * Names match as the store matches them: the blanks at their ends are dropped
 * and ASCII letters match in either case. A section or key name must hold a
 * character other than a blank, and no call takes a line break in any text;
 * a key name must not contain '=' nor start with '[' or ';'. Other arguments
 * answer SKARVEL_INVALID_ARGUMENT and change nothing.
 */
#ifndef SKARVEL_PROFILE_H
#define SKARVEL_PROFILE_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(SKARVEL_PROFILE_BUILDING)
#define SKARVEL_PROFILE_API __declspec(dllexport)
#else
#define SKARVEL_PROFILE_API __declspec(dllimport)
#endif
#else
#define SKARVEL_PROFILE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Answers ------------------------------------------------------------- */

/* What a call did. The values stay as they are in every later version. */
typedef enum skarvel_status {
    SKARVEL_OK = 0,               /* done; a read found its value */
    SKARVEL_NOT_FOUND = 1,        /* no such key, section or file (or directory, for reads) */
    SKARVEL_WRONG_TYPE = 2,       /* the value is there but is not of the asked type */
    SKARVEL_TRUNCATED = 3,        /* the text was cut to fit the caller's buffer */
    SKARVEL_ACCESS_DENIED = 4,    /* the file refused: read-only, unreadable, a directory */
    SKARVEL_NO_SPACE = 5,         /* no space left for the new file */
    SKARVEL_INVALID_ARGUMENT = 6, /* a null pointer, a refused name or text, a bad path */
    SKARVEL_SYSTEM_ERROR = 7      /* another failure of the system, such as a missing
                                     directory on a write; skarvel_GetLastError() says which */
} skarvel_status;

/* A short English message for a status, such as "access denied"; never null. */
SKARVEL_PROFILE_API const char* skarvel_strerror(skarvel_status status);

/* The Win32 error code the calling thread's last failed call left, on every
 * platform: the store's own code when the file system refused (for instance
 * ERROR_ACCESS_DENIED 5, ERROR_PATH_NOT_FOUND 3, ERROR_DISK_FULL 112), else
 * ERROR_FILE_NOT_FOUND 2 for NOT_FOUND, ERROR_INVALID_DATA 13 for WRONG_TYPE,
 * ERROR_INSUFFICIENT_BUFFER 122 for TRUNCATED and ERROR_INVALID_PARAMETER 87
 * (ERROR_NO_UNICODE_TRANSLATION 1113 for text that is no UTF-8) for
 * INVALID_ARGUMENT. After the three profile functions below, what the
 * platform's GetLastError() gives. */
SKARVEL_PROFILE_API unsigned long skarvel_GetLastError(void);

/* ---- Files --------------------------------------------------------------- */

/* One settings file. Opening touches no file: a missing file is created by the
 * first write (its directory never is) and reads as empty until then. */
typedef struct skarvel_profile skarvel_profile;

/* Opens the settings file at `path`, absolute or relative to the working
 * directory at the time of the call, and sets *profile to a handle for
 * skarvel_close. INVALID_ARGUMENT for a null or empty path or a null profile;
 * SYSTEM_ERROR when the working directory is gone. *profile is null unless OK. */
SKARVEL_PROFILE_API skarvel_status skarvel_open(const char* path, skarvel_profile** profile);

/* Opens the per-user settings file `name`, a relative path such as
 * "MyApp/settings.ini", under the user's configuration directory:
 * $XDG_CONFIG_HOME when it is set to an absolute path, else ~/.config on Linux;
 * %APPDATA% on Windows. The directories `name` names are made when missing, so
 * that the first write can create the file. NOT_FOUND when no such directory is
 * known ($HOME and $XDG_CONFIG_HOME unset; %APPDATA% unset); INVALID_ARGUMENT
 * for an absolute or empty name; ACCESS_DENIED, NO_SPACE or SYSTEM_ERROR when a
 * directory could not be made. */
SKARVEL_PROFILE_API skarvel_status skarvel_open_user(const char* name, skarvel_profile** profile);

/* Releases the handle; the file stays. A null profile is ignored. */
SKARVEL_PROFILE_API void skarvel_close(skarvel_profile* profile);

/* The file's absolute path in UTF-8, valid until skarvel_close; "" for null. */
SKARVEL_PROFILE_API const char* skarvel_path(const skarvel_profile* profile);

/* ---- Values ---------------------------------------------------------------
 * Reads answer NOT_FOUND for a key, section or file that is not there (and for
 * a file in a directory that is not there), and ACCESS_DENIED or SYSTEM_ERROR
 * when the file exists but could not be read. A typed read changes *value only
 * when it answers OK, so a caller may set its default first.
 * Writes create the file, the section and the key as needed, change only the
 * line of the key and keep every other byte of the file. They answer
 * ACCESS_DENIED for a read-only file or a path that names a directory,
 * SYSTEM_ERROR (ERROR_PATH_NOT_FOUND) when the directory is missing, NO_SPACE
 * when the disk is full. */

/* Reads the text of `key` in `section` into `buffer` of `size` bytes: OK when
 * the text and its terminator fit; TRUNCATED, with the text cut to size - 1
 * bytes and terminated (nothing written when size is 0), when they do not.
 * `*length`, when length is not null, is the whole text's length without the
 * terminator, so size *length + 1 reads it whole. The text is as the store
 * reads it: without the blanks at its ends, and without a quote character that
 * stands at both. An empty value is found: OK with "". On any other answer the
 * buffer (when size > 0) holds "" and *length is 0. buffer may be null only
 * when size is 0. */
SKARVEL_PROFILE_API skarvel_status skarvel_get_string(const skarvel_profile* profile,
                                                      const char* section, const char* key,
                                                      char* buffer, size_t size, size_t* length);

/* Writes `value` as the key's text, enclosed in double quotes when the store
 * would otherwise read it back otherwise than written (blanks at its ends, or
 * a quote character at both ends), so that skarvel_get_string gives it back. */
SKARVEL_PROFILE_API skarvel_status skarvel_set_string(const skarvel_profile* profile,
                                                      const char* section, const char* key,
                                                      const char* value);

/* Reads a decimal integer: an optional sign and decimal digits, nothing else.
 * WRONG_TYPE for any other text (an empty value, "12abc", "0x1F", "1.5") and
 * for numbers beyond the int64_t range. */
SKARVEL_PROFILE_API skarvel_status skarvel_get_int64(const skarvel_profile* profile,
                                                     const char* section, const char* key,
                                                     int64_t* value);

/* Writes the integer in decimal: "-42". */
SKARVEL_PROFILE_API skarvel_status skarvel_set_int64(const skarvel_profile* profile,
                                                     const char* section, const char* key,
                                                     int64_t value);

/* Reads a real number: an optional sign, then decimal digits with an optional
 * '.' and exponent ("1.5", "-2e-7", ".5"), or inf, infinity or nan in any case.
 * The point is always '.', whatever the locale. WRONG_TYPE for any other text
 * (an empty value, "1,5", "0x1p3", "2.5kg"), and for a number too large for a
 * double or too small to be told from zero. */
SKARVEL_PROFILE_API skarvel_status skarvel_get_double(const skarvel_profile* profile,
                                                      const char* section, const char* key,
                                                      double* value);

/* Writes the shortest text that reads back as the same double, with '.' as the
 * point whatever the locale: "0.1", "1e-07", "1e+300", "-0", "inf", "nan". */
SKARVEL_PROFILE_API skarvel_status skarvel_set_double(const skarvel_profile* profile,
                                                      const char* section, const char* key,
                                                      double value);

/* Reads true, yes, on or 1 as true and false, no, off or 0 as false, in any
 * case. WRONG_TYPE for any other text. */
SKARVEL_PROFILE_API skarvel_status skarvel_get_bool(const skarvel_profile* profile,
                                                    const char* section, const char* key,
                                                    bool* value);

/* Writes "true" or "false". */
SKARVEL_PROFILE_API skarvel_status skarvel_set_bool(const skarvel_profile* profile,
                                                    const char* section, const char* key,
                                                    bool value);

/* Removes the key's line. NOT_FOUND, with nothing written and no file created,
 * when a read would not find the key. */
SKARVEL_PROFILE_API skarvel_status skarvel_delete_key(const skarvel_profile* profile,
                                                      const char* section, const char* key);

/* Removes the section's header and its key lines; comments and blank lines stay.
 * Where a name stands for several sections, the first goes. NOT_FOUND, with
 * nothing written, when the file has no such section. */
SKARVEL_PROFILE_API skarvel_status skarvel_delete_section(const skarvel_profile* profile,
                                                          const char* section);

/* ---- Listings -------------------------------------------------------------- */

/* Called once for each name, in file order, with the name (terminated, lent
 * for the call) and its length. Answers 0 to go on, anything else to stop. */
typedef int (*skarvel_name_visitor)(void* context, const char* name, size_t length);

/* Visits the file's section names, a section that stands twice in the file
 * twice. NOT_FOUND when the file is not there; OK, without visits, for a file
 * without sections. */
SKARVEL_PROFILE_API skarvel_status skarvel_list_sections(const skarvel_profile* profile,
                                                         skarvel_name_visitor visit, void* context);

/* Visits the key names of the section (of its first appearance, where a name
 * stands for several). NOT_FOUND when the file has no such section; OK, without
 * visits, for a section without keys. Lines without '=' are no keys. */
SKARVEL_PROFILE_API skarvel_status skarvel_list_keys(const skarvel_profile* profile,
                                                     const char* section,
                                                     skarvel_name_visitor visit, void* context);

/* ---- The Win32 profile functions ------------------------------------------
 * For programs ported from Windows: GetPrivateProfileStringA,
 * GetPrivateProfileIntA and WritePrivateProfileStringA with their Win32
 * contracts (null names for listings and deletions, the default's trailing
 * spaces dropped, lists ending in two terminators and cut to size - 2, ...) and
 * the same answers on every platform, except that text is UTF-8 everywhere: on
 * Windows they call the wide functions. As on Windows, a file name without a
 * directory names a file in the Windows directory there, and in the working
 * directory on Linux: give a full path. On Windows a value written to a missing
 * file makes it a UTF-16 file, as with skarvel_set_string. Their failures are
 * read with skarvel_GetLastError(). */

SKARVEL_PROFILE_API unsigned long
skarvel_GetPrivateProfileStringA(const char* appName, const char* keyName, const char* defaultText,
                                 char* returnedString, unsigned long size, const char* fileName);

SKARVEL_PROFILE_API unsigned int skarvel_GetPrivateProfileIntA(const char* appName,
                                                               const char* keyName,
                                                               int defaultValue,
                                                               const char* fileName);

SKARVEL_PROFILE_API int skarvel_WritePrivateProfileStringA(const char* appName, const char* keyName,
                                                           const char* string,
                                                           const char* fileName);

#ifdef __cplusplus
}
#endif

#endif /* SKARVEL_PROFILE_H */
