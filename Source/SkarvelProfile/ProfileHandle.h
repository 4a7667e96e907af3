// What an open profile holds: its file's absolute path, in two forms.
#pragma once

#include <string>

#include "StoreCalls.h"
#include "skarvel_profile.h"

struct skarvel_profile {
    std::string path;                         // UTF-8, for skarvel_path
    skarvel::profile::StoreString storePath;  // the same path, as the store takes it
};
