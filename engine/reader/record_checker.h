// Checks of the values in a record of the library, each failing with a message that names the
// file, the record and the field.
#ifndef SENMOD_IO_RECORD_CHECKER_H
#define SENMOD_IO_RECORD_CHECKER_H

#include <string>

#include "senmod/senmod.h"

namespace senmod_io {

// Every failure throws ReadError "<file>: <record>: field <field>: <what is wrong>".
class RecordChecker {
 public:
  // Keeps references: record and file must outlive the checker.
  RecordChecker(const char* record, const std::string& file) : record_(record), file_(file) {}

  [[noreturn]] void fail(const std::string& field, const std::string& what) const;
  // value lies in low ... high.
  void range(const std::string& field, int32_t value, int32_t low, int32_t high) const;
  // A counted text whose one zero byte is its last, or the empty counted text.
  void text(const std::string& field, const Hmif_String& value) const;
  // A text that must be "Y" or "N"; true for "Y".
  bool flag(const std::string& field, const Hmif_String& value) const;
  // A finite number.
  void real(const std::string& field, double value) const;
  // count finite numbers.
  void reals(const std::string& field, const Smod_Doubles& values, long count) const;
  // Finite numbers, as many as there are.
  void reals(const std::string& field, const Smod_Doubles& values) const;
  // An array that a record leaves out must be empty.
  void empty(const std::string& field, const Smod_Doubles& values) const {
    reals(field, values, 0);
  }

 private:
  const char* record_;
  const std::string& file_;
};

}  // namespace senmod_io

#endif
