#include "gdal_quiet.h"

#include <gdal.h>

#include <mutex>

namespace senmod_io {

namespace {

thread_local std::string lastMessage;

void keepMessage(CPLErr level, CPLErrorNum, const char* message) {
  if (level >= CE_Failure && message) lastMessage = message;
}

}  // namespace

void gdalStart() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    CPLSetErrorHandler(keepMessage);
  });
}

std::string gdalTakeMessage() {
  std::string message;
  message.swap(lastMessage);
  return message;
}

}  // namespace senmod_io
