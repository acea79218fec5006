// The persistent byte form of records, and its sizing, writing and checked reading.
//
// Items follow one another in design order with no padding, little-endian:
//   32-bit integer, enumeration    4 bytes (an enumeration holds its position, checked)
//   64-bit float                   8 bytes, the IEEE bits
//   fixed array of n floats        n * 8 bytes
//   embedded record                its items
//   counted pointer                int32 count, then the elements: bytes and text 1 byte each
//                                  (a text ends with its zero, counted), integers 4, floats 8,
//                                  records their items
//   pointer to one record          1 byte 0 (null) or 1, then the record when 1
// The same record always gives the same bytes.
#include <string.h>

#include "mif_internal.h"

namespace {

// Counts or writes the bytes of the encoding; checks the record as it goes.
struct Encoder {
  unsigned char* out;  // null while counting
  int64_t position = 0;
  const char* function;
  ErrorReport** err;

  void put(uint64_t value, int bytes) {
    if (out) {
      for (int i = 0; i < bytes; ++i)
        out[position + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    position += bytes;
  }
  void putRaw(const void* data, int64_t bytes) {
    if (out && bytes) memcpy(out + position, data, size_t(bytes));
    position += bytes;
  }
  void putDouble(double value) {
    uint64_t bits;
    memcpy(&bits, &value, 8);
    put(bits, 8);
  }

  bool record(const void* record, const HmifDesign* design, int depth);
  bool counted(const void* record, const HmifDesign* design, const MifItem* item, int depth);
};

bool Encoder::counted(const void* record, const HmifDesign* design, const MifItem* item,
                      int depth) {
  const MifCounted counted = mif_LoadCounted(record, item);
  if (counted.count < 0 || (counted.count > 0 && !counted.data)) {
    mif_Report(err, function, __LINE__, "design \"%s\", item \"%s\": count %d %s", design->name,
               item->name, counted.count, counted.count < 0 ? "is negative" : "without data");
    return false;
  }
  int32_t count = counted.count;
  put(uint32_t(count), 4);
  const unsigned char* data = static_cast<const unsigned char*>(counted.data);
  switch (item->code) {
    case HMIF_COUNTED_TEXT:
      if (count > 0 && (data[count - 1] != '\0' || memchr(data, 0, size_t(count - 1)))) {
        mif_Report(err, function, __LINE__,
                   "design \"%s\", item \"%s\": text of count %d does not end at its count",
                   design->name, item->name, count);
        return false;
      }
      putRaw(data, count);
      return true;
    case HMIF_COUNTED_BYTES:
      putRaw(data, count);
      return true;
    case HMIF_COUNTED_INT32:
      for (int32_t i = 0; i < count; ++i) {
        int32_t value;
        memcpy(&value, data + 4 * int64_t(i), 4);
        put(uint32_t(value), 4);
      }
      return true;
    case HMIF_COUNTED_FLOAT64:
      for (int32_t i = 0; i < count; ++i) {
        double value;
        memcpy(&value, data + 8 * int64_t(i), 8);
        putDouble(value);
      }
      return true;
    default: {
      const HmifDesign* element = mif_ItemTarget(design, item);
      if (!element) {
        mif_Report(err, function, __LINE__, "design \"%s\", item \"%s\": design \"%s\" not found",
                   design->name, item->name, item->refName);
        return false;
      }
      for (int32_t i = 0; i < count; ++i) {
        if (!this->record(data + element->size * i, element, depth + 1)) return false;
      }
      return true;
    }
  }
}

bool Encoder::record(const void* record, const HmifDesign* design, int depth) {
  if (depth > MIF_DEPTH_MAX) {
    mif_Report(err, function, __LINE__, "design \"%s\": records nested deeper than %d",
               design->name, MIF_DEPTH_MAX);
    return false;
  }
  const unsigned char* base = static_cast<const unsigned char*>(record);
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    const unsigned char* field = base + item->offset;
    switch (item->code) {
      case HMIF_ENUM:
      case HMIF_INT32: {
        int32_t value;
        memcpy(&value, field, 4);
        if (item->code == HMIF_ENUM && (value < 0 || value >= item->enumCount)) {
          mif_Report(err, function, __LINE__,
                     "design \"%s\", item \"%s\": value %d is not one of its %d enumerators",
                     design->name, item->name, value, item->enumCount);
          return false;
        }
        put(uint32_t(value), 4);
        break;
      }
      case HMIF_FLOAT64:
      case HMIF_FLOAT64_ARRAY: {
        int32_t n = item->code == HMIF_FLOAT64 ? 1 : item->arrayCount;
        for (int32_t k = 0; k < n; ++k) {
          double value;
          memcpy(&value, field + 8 * k, 8);
          putDouble(value);
        }
        break;
      }
      case HMIF_RECORD:
        if (!this->record(field, item->sub, depth + 1)) return false;
        break;
      case HMIF_RECORD_POINTER: {
        const void* target = mif_LoadPointer(record, item);
        put(target ? 1 : 0, 1);
        if (target && !this->record(target, item->sub, depth + 1)) return false;
        break;
      }
      default:
        if (!counted(record, design, item, depth)) return false;
        break;
    }
  }
  return true;
}

int64_t encodedSize(const void* record, const HmifDesign* design, const char* function,
                    ErrorReport** err) {
  if (!record || !design) {
    mif_Report(err, function, __LINE__, "null %s", record ? "design" : "record");
    return -1;
  }
  Encoder counter{nullptr, 0, function, err};
  return counter.record(record, design, 1) ? counter.position : -1;
}

// Reads the bytes into zero-filled records, checking every count against what remains. No block
// is taken before the bytes left can hold its records at their smallest, so a decoding takes at
// most about 8 bytes of memory (a record pointer's 8 for its 1-byte flag) per byte it reads.
struct Decoder {
  const unsigned char* in;
  int64_t length;
  int64_t position = 0;
  int64_t allocated = 0;
  ErrorReport** err;

  static constexpr const char* function = "hmif_ConvertFromMIF";

  bool need(int64_t bytes, const HmifDesign* design, const MifItem* item) {
    if (bytes <= length - position) return true;
    mif_Report(err, function, __LINE__,
               "design \"%s\", item \"%s\": %lld bytes needed at offset %lld, %lld remain",
               design->name, item->name, static_cast<long long>(bytes),
               static_cast<long long>(position), static_cast<long long>(length - position));
    return false;
  }
  uint64_t get(int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t(in[position + i]) << (8 * i);
    position += bytes;
    return value;
  }
  double getDouble() {
    uint64_t bits = get(8);
    double value;
    memcpy(&value, &bits, 8);
    return value;
  }
  void* allocate(int64_t bytes, const HmifDesign* design, const MifItem* item) {
    if (bytes > MIF_DECODE_BYTES_MAX - allocated) {
      mif_Report(err, function, __LINE__,
                 "design \"%s\", item \"%s\": the object would take more than %lld bytes",
                 design->name, item->name, static_cast<long long>(MIF_DECODE_BYTES_MAX));
      return nullptr;
    }
    void* block = mif_Calloc(size_t(bytes));
    if (!block) {
      mif_Report(err, function, __LINE__, "design \"%s\", item \"%s\": heap exhausted",
                 design->name, item->name);
      return nullptr;
    }
    allocated += bytes;
    return block;
  }

  bool record(void* record, const HmifDesign* design, int depth);
  bool counted(void* record, const HmifDesign* design, const MifItem* item, int depth);
};

bool Decoder::counted(void* record, const HmifDesign* design, const MifItem* item, int depth) {
  if (!need(4, design, item)) return false;
  int32_t count = int32_t(uint32_t(get(4)));
  if (count < 0) {
    mif_Report(err, function, __LINE__, "design \"%s\", item \"%s\": negative count %d",
               design->name, item->name, count);
    return false;
  }
  if (count == 0) return true;
  const HmifDesign* element = nullptr;
  int64_t memorySize = mif_CountedElementSize(item->code);
  // The elements must fit in what remains at their smallest before their memory is taken, so
  // that a few bytes cannot claim a large zeroed block.
  int64_t encodedSize = memorySize;
  if (item->code == HMIF_COUNTED_RECORDS) {
    element = mif_ItemTarget(design, item);
    if (!element) {
      mif_Report(err, function, __LINE__, "design \"%s\", item \"%s\": design \"%s\" not found",
                 design->name, item->name, item->refName);
      return false;
    }
    memorySize = element->size;
    encodedSize = element->encodedMin;
  }
  if (!need(encodedSize * count, design, item)) return false;
  unsigned char* block = static_cast<unsigned char*>(allocate(memorySize * count, design, item));
  if (!block) return false;
  mif_StoreCounted(record, item, count, block);
  switch (item->code) {
    case HMIF_COUNTED_TEXT:
      if (in[position + count - 1] != '\0' || memchr(in + position, 0, size_t(count - 1))) {
        mif_Report(err, function, __LINE__,
                   "design \"%s\", item \"%s\": text of count %d does not end at its count",
                   design->name, item->name, count);
        return false;
      }
      memcpy(block, in + position, size_t(count));
      position += count;
      return true;
    case HMIF_COUNTED_BYTES:
      memcpy(block, in + position, size_t(count));
      position += count;
      return true;
    case HMIF_COUNTED_INT32:
      for (int32_t i = 0; i < count; ++i) {
        int32_t value = int32_t(uint32_t(get(4)));
        memcpy(block + 4 * int64_t(i), &value, 4);
      }
      return true;
    case HMIF_COUNTED_FLOAT64:
      for (int32_t i = 0; i < count; ++i) {
        double value = getDouble();
        memcpy(block + 8 * int64_t(i), &value, 8);
      }
      return true;
    default:
      for (int32_t i = 0; i < count; ++i) {
        if (!this->record(block + memorySize * i, element, depth + 1)) return false;
      }
      return true;
  }
}

bool Decoder::record(void* record, const HmifDesign* design, int depth) {
  if (depth > MIF_DEPTH_MAX) {
    mif_Report(err, function, __LINE__, "design \"%s\": records nested deeper than %d",
               design->name, MIF_DEPTH_MAX);
    return false;
  }
  unsigned char* base = static_cast<unsigned char*>(record);
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    unsigned char* field = base + item->offset;
    switch (item->code) {
      case HMIF_ENUM:
      case HMIF_INT32: {
        if (!need(4, design, item)) return false;
        int32_t value = int32_t(uint32_t(get(4)));
        if (item->code == HMIF_ENUM && (value < 0 || value >= item->enumCount)) {
          mif_Report(err, function, __LINE__,
                     "design \"%s\", item \"%s\": value %d is not one of its %d enumerators",
                     design->name, item->name, value, item->enumCount);
          return false;
        }
        memcpy(field, &value, 4);
        break;
      }
      case HMIF_FLOAT64:
      case HMIF_FLOAT64_ARRAY: {
        int32_t n = item->code == HMIF_FLOAT64 ? 1 : item->arrayCount;
        if (!need(8 * int64_t(n), design, item)) return false;
        for (int32_t k = 0; k < n; ++k) {
          double value = getDouble();
          memcpy(field + 8 * k, &value, 8);
        }
        break;
      }
      case HMIF_RECORD:
        if (!this->record(field, item->sub, depth + 1)) return false;
        break;
      case HMIF_RECORD_POINTER: {
        if (!need(1, design, item)) return false;
        uint64_t present = get(1);
        if (present > 1) {
          mif_Report(err, function, __LINE__,
                     "design \"%s\", item \"%s\": presence flag %u is neither 0 nor 1",
                     design->name, item->name, unsigned(present));
          return false;
        }
        if (!present) break;
        if (!need(item->sub->encodedMin, design, item)) return false;
        void* target = allocate(item->sub->size, design, item);
        if (!target) return false;
        mif_StorePointer(record, item, target);
        if (!this->record(target, item->sub, depth + 1)) return false;
        break;
      }
      default:
        if (!counted(record, design, item, depth)) return false;
        break;
    }
  }
  return true;
}

}  // namespace

int64_t hmif_ObjectSize(const void* record, const HmifDesign* design, ErrorReport** err) {
  return encodedSize(record, design, "hmif_ObjectSize", err);
}

int64_t hmif_ConvertToMIF(int flags, const void* record, const HmifDesign* design, void* buffer,
                          ErrorReport** err) {
  static const char* const function = "hmif_ConvertToMIF";
  if (flags != 0) {
    mif_Report(err, function, __LINE__, "flags must be 0, not %d", flags);
    return -1;
  }
  if (!buffer) {
    mif_Report(err, function, __LINE__, "null buffer");
    return -1;
  }
  // Checked in full before a byte is written, so a refused record leaves the buffer alone.
  int64_t size = encodedSize(record, design, function, err);
  if (size < 0) return -1;
  Encoder writer{static_cast<unsigned char*>(buffer), 0, function, err};
  writer.record(record, design, 1);
  return writer.position;
}

void* hmif_ConvertFromMIF(const void* bytes, size_t length, const HmifDesign* design,
                          ErrorReport** err) {
  static const char* const function = "hmif_ConvertFromMIF";
  if (!design || (!bytes && length > 0)) {
    mif_Report(err, function, __LINE__, "null %s", design ? "bytes" : "design");
    return nullptr;
  }
  if (length > size_t(INT64_MAX)) {
    mif_Report(err, function, __LINE__, "length %zu too large", length);
    return nullptr;
  }
  if (int64_t(length) < design->encodedMin) {
    mif_Report(err, function, __LINE__, "design \"%s\": %lld bytes needed, %zu given",
               design->name, static_cast<long long>(design->encodedMin), length);
    return nullptr;
  }
  void* record = mif_Calloc(size_t(design->size));
  if (!record) {
    mif_Report(err, function, __LINE__, "design \"%s\": heap exhausted", design->name);
    return nullptr;
  }
  static const unsigned char none = 0;
  Decoder decoder{bytes ? static_cast<const unsigned char*>(bytes) : &none, int64_t(length), 0,
                  design->size, err};
  bool ok = decoder.record(record, design, 1);
  if (ok && decoder.position != decoder.length) {
    mif_Report(err, function, __LINE__, "design \"%s\": %lld bytes left over after the object",
               design->name, static_cast<long long>(decoder.length - decoder.position));
    ok = false;
  }
  if (!ok) {
    mif_FreeMembers(record, design);
    hmsc_HeapFree(record);
    return nullptr;
  }
  return record;
}
