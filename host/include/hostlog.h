/*
 * hostlog: the host toolkit's logging exception.
 */
#ifndef HOSTLOG_H
#define HOSTLOG_H

#ifdef __cplusplus
#include <string>

/* The exception that the host's error accumulator throws: a message and the line it was
 * raised at. */
class HlogException {
 public:
  HlogException(std::string message, int line);
  virtual ~HlogException();
  const char* Message() const { return message_.c_str(); }
  int Line() const { return line_; }

 private:
  std::string message_;
  int line_;
};
#endif

#endif /* HOSTLOG_H */
