// Windows has no Unix groups: no file names one.
#pragma once
#include <sys/types.h>

struct group {
  char* gr_name;
};
inline struct group* getgrgid(unsigned) { return nullptr; }
