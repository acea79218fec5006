// Tagged records as GDAL's NITF driver decodes them (metadata domain "xml:TRE"), and typed,
// validated access to their fields.
#ifndef SENMOD_IO_TRE_RECORDS_H
#define SENMOD_IO_TRE_RECORDS_H

#include <optional>
#include <string>
#include <vector>

namespace senmod_io {

struct TreField {
  std::string name;
  std::string value;  // as GDAL gives it: trailing blanks removed; "" for a blank field
};

// One record with its fields in record order; repeated groups are flattened in order.
struct Tre {
  std::string name;
  std::vector<TreField> fields;
};

// The records of an "xml:TRE" document, in document order. Throws ReadError naming file when
// the text is not such a document.
std::vector<Tre> parseTreXml(const std::string& xml, const std::string& file);

// Reads the fields of one record. Every failure throws ReadError with a message of the form
// "<file>: <record>[ <which>]: field <FIELD>: <what is wrong>".
class TreFields {
 public:
  // which tells records of the same name apart in messages ("section 2, 1"); may be "".
  TreFields(const Tre& tre, std::string file, std::string which = "");

  // The field's value with surrounding blanks removed; throws when the field is absent.
  std::string text(const std::string& field) const;
  // A required real number, finite.
  double real(const std::string& field) const;
  // A real number, or nothing when the field is blank or absent.
  std::optional<double> optionalReal(const std::string& field) const;
  // A required whole number in low ... high.
  int integer(const std::string& field, int low, int high) const;
  // A whole number in low ... high, or nothing when blank or absent.
  std::optional<int> optionalInteger(const std::string& field, int low, int high) const;
  // Every occurrence of a repeated real field; exactly count of them are required.
  std::vector<double> reals(const std::string& field, int count) const;

  [[noreturn]] void fail(const std::string& field, const std::string& what) const;

 private:
  const std::string* find(const std::string& field) const;

  const Tre& tre_;
  std::string file_;
  std::string which_;
};

// Reads the fields of one record in record order, for records whose fields repeat in groups
// and whose presence depends on earlier fields. Failures throw as TreFields's do.
class TreCursor {
 public:
  // Keeps a reference: tre must outlive the cursor.
  TreCursor(const Tre& tre, std::string file);

  // The next field's value, blanks removed; throws unless the next field is named field.
  std::string text(const std::string& field);
  // The next field as a finite real number.
  double real(const std::string& field);
  // The next field as a whole number in low ... high.
  int integer(const std::string& field, int low, int high);
  // The next count fields, each a finite real number named field.
  std::vector<double> reals(const std::string& field, int count);
  // Throws unless every field has been read.
  void end();

  [[noreturn]] void fail(const std::string& field, const std::string& what) const;

 private:
  const Tre& tre_;
  TreFields fields_;
  size_t at_ = 0;
};

}  // namespace senmod_io

#endif
