// The logging exception: a message and the line it was raised at.
#include <utility>

#include "hostlog.h"

HlogException::HlogException(std::string message, int line)
    : message_(std::move(message)), line_(line) {}

HlogException::~HlogException() = default;
