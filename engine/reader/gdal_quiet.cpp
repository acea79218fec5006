#include "gdal_quiet.h"

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>

namespace senmod_io {

namespace {

thread_local std::string lastMessage;

void CPL_STDCALL keepMessage(CPLErr level, CPLErrorNum, const char* message) {
  if (level >= CE_Failure && message) lastMessage = message;
}

}  // namespace

GdalMessages::GdalMessages() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
  CPLPushErrorHandler(keepMessage);
}

GdalMessages::~GdalMessages() { CPLPopErrorHandler(); }

std::string gdalTakeMessage() {
  std::string message;
  message.swap(lastMessage);
  return message;
}

}  // namespace senmod_io
