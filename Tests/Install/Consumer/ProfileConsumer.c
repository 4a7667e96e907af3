/* Uses the installed C interface through its installed header alone, as a C99 host:
 * writes a value of each type to the file named on the command line, reads each
 * back, lists the keys, and removes the file. */
#include <stdio.h>
#include <string.h>

#include <skarvel_profile.h>

static int count_name(void* context, const char* name, size_t length)
{
    (void)name;
    (void)length;
    ++*(int*)context;
    return 0;
}

int main(int argc, char** argv)
{
    skarvel_profile* profile = NULL;
    char text[16] = "";
    int64_t number = 0;
    double real = 0;
    bool flag = false;
    int keys = 0;
    int ok = 0;

    if (argc != 2 || skarvel_open(argv[1], &profile) != SKARVEL_OK) {
        fprintf(stderr, "ProfileConsumer: cannot open the file named on the command line\n");
        return 1;
    }
    ok = skarvel_set_string(profile, "Consumer", "Text", "installed") == SKARVEL_OK &&
         skarvel_set_int64(profile, "Consumer", "Number", -42) == SKARVEL_OK &&
         skarvel_set_double(profile, "Consumer", "Real", 2.5) == SKARVEL_OK &&
         skarvel_set_bool(profile, "Consumer", "Flag", true) == SKARVEL_OK &&
         skarvel_get_string(profile, "Consumer", "Text", text, sizeof text, NULL) == SKARVEL_OK &&
         skarvel_get_int64(profile, "Consumer", "Number", &number) == SKARVEL_OK &&
         skarvel_get_double(profile, "Consumer", "Real", &real) == SKARVEL_OK &&
         skarvel_get_bool(profile, "Consumer", "Flag", &flag) == SKARVEL_OK &&
         skarvel_list_keys(profile, "Consumer", count_name, &keys) == SKARVEL_OK &&
         strcmp(text, "installed") == 0 && number == -42 && real == 2.5 && flag && keys == 4;
    printf("ProfileConsumer: %s %s\n", ok ? "SkarvelProfile works from" : "values were lost in",
           skarvel_path(profile));
    remove(skarvel_path(profile));
    skarvel_close(profile);
    return ok ? 0 : 1;
}
