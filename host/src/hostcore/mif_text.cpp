// Dictionary text: designs written as lines of words, and parsed back.
//
// Grammar (words are separated by spaces or tabs, lines end with '\n', blank lines are skipped):
//
//   text    = version design*
//   version = "hmif-dictionary" 1                 (the only version known)
//   design  = "design" NAME  item+  "end"
//   item    = "item" CODE NAME argument*
//
// CODE is the decimal item code; its arguments: 1 and 1025 the name of a design defined
// earlier in the text; 3 one or more enumerator names; 270 the element count; 514 the name of
// a design (anywhere in the text, or missing until the design is used); no argument otherwise.
// NAME is 1 to 255 characters of letters, digits, '_', '.' and '-'. Design names are unique.
// The writer puts a design after every design it embeds or points to.
#include <string.h>

#include "mif_internal.h"

namespace {

const char* const versionWord = "hmif-dictionary";
const char* const versionNumber = "1";
constexpr size_t textLengthMax = size_t(64) << 20;

void renderDesign(const HmifDesign* design, MifText* text) {
  text->append("design ");
  text->append(design->name);
  text->append("\n");
  for (int32_t i = 0; i < design->itemCount; ++i) {
    const MifItem* item = &design->items[i];
    text->append("item ");
    text->appendInt(item->code);
    text->append(" ");
    text->append(item->name);
    switch (item->code) {
      case HMIF_RECORD:
      case HMIF_RECORD_POINTER:
        text->append(" ");
        text->append(item->sub->name);
        break;
      case HMIF_COUNTED_RECORDS:
        text->append(" ");
        text->append(item->refName);
        break;
      case HMIF_FLOAT64_ARRAY:
        text->append(" ");
        text->appendInt(item->arrayCount);
        break;
      case HMIF_ENUM:
        for (int32_t k = 0; k < item->enumCount; ++k) {
          text->append(" ");
          text->append(item->enumNames[k]);
        }
        break;
      default:
        break;
    }
    text->append("\n");
  }
  text->append("end\n");
}

int32_t find(const HmifDesign* const* designs, int32_t count, const HmifDesign* design) {
  for (int32_t i = 0; i < count; ++i) {
    if (designs[i] == design) return i;
  }
  return -1;
}

// The designs to write, in an order that puts every handle target before its user, each once.
struct Plan {
  const HmifDesign** designs = nullptr;
  int32_t count = 0;
  int32_t capacity = 0;
  ~Plan() { hmsc_HeapFree(designs); }
  bool add(const HmifDesign* design) {
    if (find(designs, count, design) >= 0) return true;
    if (count == capacity) {
      int32_t grown = capacity ? capacity * 2 : 16;
      const HmifDesign** block =
          static_cast<const HmifDesign**>(hmsc_HeapMalloc(sizeof(HmifDesign*) * size_t(grown)));
      if (!block) return false;
      if (count) memcpy(block, designs, sizeof(HmifDesign*) * size_t(count));
      hmsc_HeapFree(designs);
      designs = block;
      capacity = grown;
    }
    designs[count++] = design;
    return true;
  }
};

}  // namespace

char* mif_WriteDictionaryText(const HmifDesign* const* roots, int32_t rootCount, bool skipMissing,
                              const char* function, ErrorReport** err) {
  Plan plan;
  for (int32_t r = 0; r < rootCount; ++r) {
    const HmifDesign** closure = nullptr;
    int32_t count = 0;
    if (!mif_Closure(roots[r], skipMissing, &closure, &count, function, err)) {
      return nullptr;
    }
    bool ok = true;
    for (int32_t i = 0; ok && i < count; ++i) ok = plan.add(closure[i]);
    hmsc_HeapFree(closure);
    if (!ok) {
      mif_Report(err, function, __LINE__, "heap exhausted");
      return nullptr;
    }
  }
  bool* written = static_cast<bool*>(mif_Calloc(sizeof(bool) * size_t(plan.count)));
  if (!written) {
    mif_Report(err, function, __LINE__, "heap exhausted");
    return nullptr;
  }
  Plan emitted;
  MifText text;
  text.append(versionWord);
  text.append(" ");
  text.append(versionNumber);
  text.append("\n");
  bool ok = true;
  // Handles form no cycles, so each pass writes at least one design.
  for (int32_t left = plan.count; ok && left > 0;) {
    for (int32_t i = 0; ok && i < plan.count; ++i) {
      const HmifDesign* design = plan.designs[i];
      if (written[i]) continue;
      bool ready = true;
      for (int32_t k = 0; ready && k < design->itemCount; ++k) {
        const MifItem* item = &design->items[k];
        if (item->code == HMIF_RECORD || item->code == HMIF_RECORD_POINTER) {
          ready = written[find(plan.designs, plan.count, item->sub)];
        }
      }
      if (!ready) continue;
      written[i] = true;
      --left;
      // Two designs of one name are written once when they read the same, refused otherwise.
      const HmifDesign* same = nullptr;
      for (int32_t k = 0; k < emitted.count; ++k) {
        if (strcmp(emitted.designs[k]->name, design->name) == 0) same = emitted.designs[k];
      }
      if (same) {
        MifText mine, theirs;
        renderDesign(design, &mine);
        renderDesign(same, &theirs);
        if (mine.failed || theirs.failed) {
          ok = false;
        } else if (strcmp(mine.data, theirs.data) != 0) {
          mif_Report(err, function, __LINE__, "two different designs are named \"%s\"",
                     design->name);
          hmsc_HeapFree(written);
          return nullptr;
        }
        continue;
      }
      ok = emitted.add(design);
      if (ok) renderDesign(design, &text);
      ok = ok && !text.failed;
    }
  }
  hmsc_HeapFree(written);
  char* result = ok ? text.release() : nullptr;
  if (!result) mif_Report(err, function, __LINE__, "heap exhausted");
  return result;
}

char* hmif_DictionaryToText(const HmifDictionary* dictionary, ErrorReport** err) {
  static const char* const function = "hmif_DictionaryToText";
  if (!dictionary) {
    mif_Report(err, function, __LINE__, "null dictionary");
    return nullptr;
  }
  const HmifDesign** roots =
      static_cast<const HmifDesign**>(mif_Calloc(sizeof(HmifDesign*) * size_t(dictionary->count)));
  if (!roots) {
    mif_Report(err, function, __LINE__, "heap exhausted");
    return nullptr;
  }
  int32_t count = 0;
  for (int32_t i = 0; i < dictionary->count; ++i) {
    if (!dictionary->designs[i]->retired) roots[count++] = dictionary->designs[i];
  }
  char* text = mif_WriteDictionaryText(roots, count, true, function, err);
  hmsc_HeapFree(roots);
  return text;
}

namespace {

const char* const parseFunction = "hmif_DictionaryFromText";

// Splits a heap copy of the text into lines and words in place.
struct Parser {
  char* text;
  char* next;
  int line;
  char* words[MIF_ENUM_NAMES_MAX + 4];
  int wordCount;
  ErrorReport** err;

  // Reads the next line that has words; false at the end of the text or on a line with too
  // many words (reported).
  bool readLine(bool* tooMany) {
    *tooMany = false;
    while (*next) {
      char* start = next;
      char* end = strchr(start, '\n');
      next = end ? end + 1 : start + strlen(start);
      if (end) *end = '\0';
      ++line;
      wordCount = 0;
      for (char* c = start; *c;) {
        while (*c == ' ' || *c == '\t' || *c == '\r') *c++ = '\0';
        if (!*c) break;
        if (wordCount == int(sizeof words / sizeof words[0])) {
          *tooMany = true;
          return false;
        }
        words[wordCount++] = c;
        while (*c && *c != ' ' && *c != '\t' && *c != '\r') ++c;
      }
      if (wordCount) return true;
    }
    return false;
  }

  void fail(int sourceLine, const char* what) {
    mif_Report(err, parseFunction, sourceLine, "line %d: %s", line, what);
  }
};

// A decimal number from min to max, nothing else.
bool parseNumber(const char* word, int64_t min, int64_t max, int64_t* value) {
  if (!*word || strlen(word) > 10) return false;
  int64_t result = 0;
  for (const char* c = word; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    result = result * 10 + (*c - '0');
  }
  if (result < min || result > max) return false;
  *value = result;
  return true;
}

// Parses one design block whose "design" line has just been read.
bool parseDesign(Parser* parser, HmifDictionary* dictionary, MifItemSpec* descs,
                 const char** enumNames) {
  if (parser->wordCount != 2 || !mif_NameValid(parser->words[1])) {
    parser->fail(__LINE__, "expected \"design\" and a design name");
    return false;
  }
  const char* name = parser->words[1];
  if (hmif_DictionaryFindDesign(dictionary, name)) {
    mif_Report(parser->err, parseFunction, __LINE__, "line %d: design \"%s\" defined twice",
               parser->line, name);
    return false;
  }
  int32_t count = 0;
  int32_t enumUsed = 0;
  bool tooMany = false;
  for (;;) {
    if (!parser->readLine(&tooMany)) {
      parser->fail(__LINE__, tooMany ? "too many words" : "design without \"end\"");
      return false;
    }
    char** words = parser->words;
    if (strcmp(words[0], "end") == 0 && parser->wordCount == 1) break;
    if (strcmp(words[0], "item") != 0 || parser->wordCount < 3) {
      parser->fail(__LINE__, "expected \"item\", a code and an item name, or \"end\"");
      return false;
    }
    if (count == MIF_ITEMS_MAX) {
      parser->fail(__LINE__, "too many items");
      return false;
    }
    int64_t code = 0;
    if (!parseNumber(words[1], 1, 0xffff, &code)) {
      parser->fail(__LINE__, "item code is not a number");
      return false;
    }
    MifItemSpec& desc = descs[count];
    desc = MifItemSpec{int32_t(code), words[2], 0, 0, nullptr, nullptr, nullptr};
    int arguments = parser->wordCount - 3;
    bool argumentsFit = arguments == 0;
    switch (code) {
      case HMIF_RECORD:
      case HMIF_RECORD_POINTER:
        argumentsFit = arguments == 1;
        if (argumentsFit) {
          desc.sub = hmif_DictionaryFindDesign(dictionary, words[3]);
          if (!desc.sub) {
            mif_Report(parser->err, parseFunction, __LINE__,
                       "line %d: design \"%.64s\" is used before it is defined", parser->line,
                       words[3]);
            return false;
          }
        }
        break;
      case HMIF_COUNTED_RECORDS:
        argumentsFit = arguments == 1;
        desc.refName = argumentsFit ? words[3] : nullptr;
        break;
      case HMIF_FLOAT64_ARRAY: {
        int64_t n = 0;
        argumentsFit = arguments == 1 && parseNumber(words[3], 1, MIF_ARRAY_MAX, &n);
        desc.arrayCount = int32_t(n);
        break;
      }
      case HMIF_ENUM:
        argumentsFit = arguments >= 1 && arguments <= MIF_ENUM_NAMES_MAX &&
                       enumUsed + arguments <= MIF_ITEMS_MAX * 4;
        if (argumentsFit) {
          desc.enumCount = arguments;
          desc.enumNames = enumNames + enumUsed;
          for (int k = 0; k < arguments; ++k) enumNames[enumUsed++] = words[3 + k];
        }
        break;
      default:
        break;
    }
    if (!argumentsFit) {
      parser->fail(__LINE__, "wrong arguments for the item code");
      return false;
    }
    ++count;
  }
  if (!mif_DesignCreate(dictionary, name, descs, count, parseFunction, parser->err)) {
    mif_Report(parser->err, parseFunction, __LINE__, "line %d: design \"%s\" refused", parser->line,
               name);
    return false;
  }
  return true;
}

}  // namespace

HmifDictionary* hmif_DictionaryFromText(const char* text, ErrorReport** err) {
  if (!text) {
    mif_Report(err, parseFunction, __LINE__, "null text");
    return nullptr;
  }
  size_t length = strnlen(text, textLengthMax + 1);
  if (length > textLengthMax) {
    mif_Report(err, parseFunction, __LINE__, "text longer than %zu bytes", textLengthMax);
    return nullptr;
  }
  // Words point into a private copy; items and enumerator names of one design are gathered in
  // arrays reused for every design.
  char* copy = static_cast<char*>(hmsc_HeapMalloc(length + 1));
  MifItemSpec* descs =
      static_cast<MifItemSpec*>(hmsc_HeapMalloc(sizeof(MifItemSpec) * MIF_ITEMS_MAX));
  const char** enumNames =
      static_cast<const char**>(hmsc_HeapMalloc(sizeof(char*) * MIF_ITEMS_MAX * 4));
  HmifDictionary* dictionary = hmif_DictionaryCreate(err);
  Parser state{};
  Parser* parser = &state;
  bool ok = copy && descs && enumNames && dictionary;
  if (!ok) mif_Report(err, parseFunction, __LINE__, "heap exhausted");
  if (ok) {
    memcpy(copy, text, length + 1);
    parser->text = parser->next = copy;
    parser->err = err;
    bool tooMany = false;
    if (!parser->readLine(&tooMany) || parser->wordCount != 2 ||
        strcmp(parser->words[0], versionWord) != 0) {
      parser->fail(__LINE__, "not a dictionary text: it must begin with \"hmif-dictionary 1\"");
      ok = false;
    } else if (strcmp(parser->words[1], versionNumber) != 0) {
      mif_Report(err, parseFunction, __LINE__, "dictionary text version \"%.16s\" is unknown",
                 parser->words[1]);
      ok = false;
    }
    int32_t designs = 0;
    while (ok && parser->readLine(&tooMany)) {
      if (strcmp(parser->words[0], "design") != 0) {
        parser->fail(__LINE__, "expected \"design\"");
        ok = false;
      } else if (++designs > MIF_DESIGNS_MAX) {
        parser->fail(__LINE__, "too many designs");
        ok = false;
      } else {
        ok = parseDesign(parser, dictionary, descs, enumNames);
      }
    }
    if (ok && tooMany) {
      parser->fail(__LINE__, "too many words");
      ok = false;
    }
  }
  hmsc_HeapFree(enumNames);
  hmsc_HeapFree(descs);
  hmsc_HeapFree(copy);
  if (!ok) {
    hmif_DictionaryDestroy(dictionary);
    return nullptr;
  }
  return dictionary;
}
