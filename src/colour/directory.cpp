#include "colour/directory.h"

#include <cstring>

#include "common/arithmetic.h"
#include "memory/memory.h"

namespace kestrl::colour {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kEndOfFile = 0x1A;

// NUL and 0x1A end a line and also the whole text: nothing after them is
// read, which keeps a block without a terminator from being scanned past
// its end. CR and LF only end a line.
bool endsText(uint8_t byte) {
  return byte == 0 || byte == kEndOfFile;
}
bool endsLine(uint8_t byte) {
  return byte == kCr || byte == kLf || endsText(byte);
}
bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Walks the text byte by byte through the reader, so a block of known size
// reads as if a NUL followed its last byte.
class TextCursor {
 public:
  explicit TextCursor(ByteReader& text) : text_(text) {}

  uint8_t peek() { return text_.u8(pos_); }

  // Moves to the byte after the first "//"; false when the text ends first.
  bool skipPastDoubleSlash() {
    for (uint8_t previous = 0;; ++pos_) {
      const uint8_t byte = peek();
      if (endsText(byte)) return false;
      if (byte == '/' && previous == '/') {
        ++pos_;
        return true;
      }
      previous = byte;
    }
  }

  // Skips the rest of the current line and the line breaks after it.
  void skipLine() {
    while (!endsLine(peek())) ++pos_;
    skipBreaks();
  }

  // Copies the next line into `line`. False when the text has ended; sets
  // `tooLong` when the line exceeds kMaxLineLength.
  bool readLine(char* line, int& length, bool& tooLong) {
    length = 0;
    tooLong = false;
    if (endsText(peek())) return false;
    for (uint8_t byte = peek(); !endsLine(byte); byte = peek()) {
      if (length == kMaxLineLength) {
        tooLong = true;
        return true;
      }
      line[length++] = static_cast<char>(byte);
      ++pos_;
    }
    line[length] = '\0';
    skipBreaks();
    return true;
  }

 private:
  void skipBreaks() {
    while (peek() == kCr || peek() == kLf) ++pos_;
  }

  ByteReader& text_;
  size_t pos_ = 0;
};

// A field of a line: a run of bytes other than space and tab.
struct Field {
  const char* start;
  int length;
};

// Splits a line into fields on demand.
class FieldSplitter {
 public:
  FieldSplitter(const char* line, int length) : line_(line), length_(length) {}

  // The next field, or an empty one when the line has no more.
  Field next() {
    while (pos_ < length_ && isBlank(line_[pos_])) ++pos_;
    const int start = pos_;
    while (pos_ < length_ && !isBlank(line_[pos_])) ++pos_;
    return {line_ + start, pos_ - start};
  }

 private:
  const char* line_;
  int length_;
  int pos_ = 0;
};

bool copyName(Field field, char* name) {
  if (field.length > kMaxNameLength) return false;
  std::memcpy(name, field.start, static_cast<size_t>(field.length));
  name[field.length] = '\0';
  return true;
}

int32_t number(Field field) {
  return parseNumber(field.start, field.length);
}

// Entry line fields, in order: id, code, mode name, select name, x and y
// resolution, class name, select value, bits per pixel.
bool parseEntry(const char* line, int length, DirectoryEntry& entry) {
  FieldSplitter fields(line, length);
  entry.entryId = number(fields.next());
  const int32_t code = number(fields.next());
  entry.entryCode = code == 0 ? -1 : code;
  if (!copyName(fields.next(), entry.modeName)) return false;
  if (!copyName(fields.next(), entry.selectName)) return false;
  entry.xResolution = number(fields.next());
  entry.yResolution = number(fields.next());
  if (!copyName(fields.next(), entry.className)) return false;
  entry.selectValue = number(fields.next());
  entry.bitsPerPixel = number(fields.next());
  return true;
}

// Reads the names of a list line. With `hasBase`, a first field that does
// not begin with 'P' is the list's base number rather than a name.
bool parseNameList(const char* line, int length, int maxNames, bool hasBase, NameList& list) {
  FieldSplitter fields(line, length);
  Field field = fields.next();
  if (hasBase && (field.length == 0 || field.start[0] != 'P')) {
    list.base = number(field);
    list.hasBase = true;
    field = fields.next();
  }
  for (; field.length > 0; field = fields.next()) {
    if (list.count == maxNames) return false;
    if (!copyName(field, list.names[list.count])) return false;
    ++list.count;
  }
  return true;
}

// Position of a name in a list (the last one when repeated), or -1.
int32_t positionOf(const NameList& list, const char* name) {
  int32_t found = -1;
  for (int32_t i = 0; i < list.count; ++i) {
    if (std::strcmp(list.names[i], name) == 0) found = i;
  }
  return found;
}

void resolveIndices(Directory& directory) {
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    DirectoryEntry& entry = directory.entries[i];
    const int32_t mode = positionOf(directory.modes, entry.modeName);
    const int32_t cls = positionOf(directory.classes, entry.className);
    const int32_t name = positionOf(directory.selects, entry.selectName);
    entry.modeIndex = mode < 0 ? 0 : mode;
    entry.classIndex = cls < 0 ? 0 : cls;
    entry.nameIndex = name < 0 ? 0 : wrapAdd(name, directory.selects.base);
  }
}

Status parseEntries(TextCursor& cursor, Directory& out) {
  int length = 0;
  bool tooLong = false;
  while (cursor.readLine(out.line, length, tooLong)) {
    if (tooLong) return kBadResource;
    const Field first = FieldSplitter(out.line, length).next();
    if (first.length > 0 && first.start[0] == '/') return kOk;
    if (out.entryCount == kMaxEntries) return kBadResource;
    if (!parseEntry(out.line, length, out.entries[out.entryCount])) return kBadResource;
    ++out.entryCount;
  }
  return kOk;
}

// The three list lines in order; a text that ends early leaves the rest empty.
Status parseNameLists(TextCursor& cursor, Directory& out) {
  struct ListLine {
    NameList* list;
    int maxNames;
    bool hasBase;
  };
  const ListLine lists[] = {{&out.modes, kMaxModeNames, false},
                            {&out.selects, kMaxSelectNames, true},
                            {&out.classes, kMaxClassNames, false}};
  int length = 0;
  bool tooLong = false;
  for (const ListLine& list : lists) {
    if (!cursor.readLine(out.line, length, tooLong)) return kOk;
    if (tooLong) return kBadResource;
    if (!parseNameList(out.line, length, list.maxNames, list.hasBase, *list.list)) {
      return kBadResource;
    }
  }
  return kOk;
}

bool fits(const DirectoryEntry& entry, const CmContext& context) {
  const PrintMode& mode = context.printMode;
  return entry.modeIndex == static_cast<int32_t>(mode.mode) &&
         entry.classIndex == context.tableClass && entry.nameIndex == context.settings.selectName &&
         entry.selectValue == context.settings.selectNumber &&
         entry.xResolution == static_cast<int32_t>(mode.xResolution) &&
         entry.yResolution == static_cast<int32_t>(mode.yResolution) &&
         entry.bitsPerPixel == static_cast<int32_t>(mode.bitsPerPixel);
}

}  // namespace

int32_t parseNumber(const char* field, int length) {
  int32_t value = 0;
  bool negative = false;
  for (int i = 0; i < length; ++i) {
    if (field[i] == '-') {
      negative = true;
      continue;
    }
    value = wrapAdd(wrapMul(value, 10), field[i] - '0');
  }
  return negative ? wrapSub(0, value) : value;
}

Status parseDirectory(ByteReader text, Directory& out) {
  TextCursor cursor(text);
  if (!cursor.skipPastDoubleSlash() || cursor.peek() != '3') return kOk;
  cursor.skipLine();  // the rest of the "//3" line
  cursor.skipLine();  // the line after it
  Status status = parseEntries(cursor, out);
  if (status == kOk) status = parseNameLists(cursor, out);
  if (status != kOk) return status;
  resolveIndices(out);
  return kOk;
}

DirectoryChoice chooseEntry(const Directory& directory, const CmContext& context) {
  DirectoryChoice choice{false, 0, 0};
  for (int32_t i = 0; i < directory.entryCount; ++i) {
    const DirectoryEntry& entry = directory.entries[i];
    if (fits(entry, context)) choice = {true, entry.entryId, entry.entryCode};
  }
  return choice;
}

Status lookUpDirectory(CmContext& context, ByteReader text, DirectoryChoice& choice) {
  choice = {false, 0, 0};
  memory::OwnedBlock<Directory> directory;
  if (Status s = directory.allocate(sizeof(Directory), /*zeroFill=*/true); s != kOk) return s;
  const Status status = parseDirectory(text, *directory.get());
  if (status == kOk) choice = chooseEntry(*directory.get(), context);
  if (choice.found) {
    context.entryId = choice.entryId;
    context.entryCode = choice.entryCode;
  }
  return status;
}

}  // namespace kestrl::colour
