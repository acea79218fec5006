// File test and the process-wide initialisation handle.
#include <sys/stat.h>

#include "hostcore.h"

struct HintInit {
  int unused;
};

extern "C" {

int hfio_FileExists(const char* name, ErrorReport**) {
  struct stat status;
  return name && stat(name, &status) == 0 && S_ISREG(status.st_mode);
}

HintInit* hint_GetInit(void) {
  static HintInit init{0};
  return &init;
}

}  // extern "C"
