/* A host written in C, built as C99, that reaches the library through skarvel_profile.h
 * alone: every kind of call once, as a C program makes it. It keeps its file in the
 * working directory, and answers 0 when every check holds. */
#include <stdio.h>
#include <string.h>

#include "skarvel_profile.h"

static int failures = 0;

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition);                        \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

/* Appends each name and a comma to the text that `context` points to. */
static int append_name(void* context, const char* name, size_t length)
{
    char* text = context;
    if (strlen(text) + length + 2 > 64) {
        return 1;
    }
    strncat(text, name, length);
    strcat(text, ",");
    return 0;
}

int main(void)
{
    const char file_name[] = "ProfileHost.ini";
    /* Stored as a double, since 32-bit x87 code compares a bare 0.1 in long double. */
    const double tenth = 0.1;
    skarvel_profile* profile = NULL;
    char text[64] = "";
    size_t length = 0;
    int64_t number = 0;
    double real = 0;
    bool flag = false;
    char listed[64] = "";

    remove(file_name);
    CHECK(skarvel_open(file_name, &profile) == SKARVEL_OK);
    CHECK(strstr(skarvel_path(profile), file_name) != NULL);

    CHECK(skarvel_set_string(profile, "Host", "Text", "written in C") == SKARVEL_OK);
    CHECK(skarvel_set_int64(profile, "Host", "Number", INT64_MIN) == SKARVEL_OK);
    CHECK(skarvel_set_double(profile, "Host", "Real", tenth) == SKARVEL_OK);
    CHECK(skarvel_set_bool(profile, "Host", "Flag", true) == SKARVEL_OK);
    CHECK(skarvel_set_string(profile, "Other", "Key", "value") == SKARVEL_OK);

    CHECK(skarvel_get_string(profile, "Host", "Text", text, sizeof text, &length) == SKARVEL_OK);
    CHECK(strcmp(text, "written in C") == 0 && length == 12);
    CHECK(skarvel_get_string(profile, "Host", "Text", text, 8, &length) == SKARVEL_TRUNCATED);
    CHECK(strcmp(text, "written") == 0 && length == 12);
    CHECK(skarvel_get_int64(profile, "Host", "Number", &number) == SKARVEL_OK);
    CHECK(number == INT64_MIN);
    CHECK(skarvel_get_double(profile, "Host", "Real", &real) == SKARVEL_OK && real == tenth);
    CHECK(skarvel_get_bool(profile, "Host", "Flag", &flag) == SKARVEL_OK && flag);
    CHECK(skarvel_get_int64(profile, "Host", "Text", &number) == SKARVEL_WRONG_TYPE);
    CHECK(skarvel_GetLastError() == 13);
    CHECK(skarvel_get_bool(profile, "Host", "Missing", &flag) == SKARVEL_NOT_FOUND);
    CHECK(strcmp(skarvel_strerror(SKARVEL_NOT_FOUND), "not found") == 0);

    CHECK(skarvel_list_sections(profile, append_name, listed) == SKARVEL_OK);
    CHECK(strcmp(listed, "Host,Other,") == 0);
    listed[0] = '\0';
    CHECK(skarvel_list_keys(profile, "Host", append_name, listed) == SKARVEL_OK);
    CHECK(strcmp(listed, "Text,Number,Real,Flag,") == 0);

    CHECK(skarvel_delete_key(profile, "Host", "Flag") == SKARVEL_OK);
    CHECK(skarvel_delete_key(profile, "Host", "Flag") == SKARVEL_NOT_FOUND);
    CHECK(skarvel_delete_section(profile, "Other") == SKARVEL_OK);

    /* The profile functions of Windows, on the same file. */
    CHECK(skarvel_WritePrivateProfileStringA("Ported", "Count", "42", skarvel_path(profile)));
    CHECK(skarvel_GetPrivateProfileIntA("Ported", "Count", -1, skarvel_path(profile)) == 42);
    CHECK(skarvel_GetPrivateProfileStringA("Ported", "Missing", "fallback  ", text, sizeof text,
                                           skarvel_path(profile)) == 8);
    CHECK(strcmp(text, "fallback") == 0);
    CHECK(!skarvel_WritePrivateProfileStringA(NULL, "Count", "1", skarvel_path(profile)));
    CHECK(skarvel_GetLastError() == 2);

    skarvel_close(profile);
    remove(file_name);
    if (failures == 0) {
        printf("ProfileHost: every check passed\n");
    }
    return failures == 0 ? 0 : 1;
}
