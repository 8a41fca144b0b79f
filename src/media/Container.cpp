#include "media/Container.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/Errors.h"

namespace tk {

namespace {

constexpr char kSignature[4] = {'T', 'P', 'F', '0'};
// Nested lists and collections deeper than this are not data anyone wrote.
constexpr int kMaxSkipDepth = 64;

[[noreturn]] void ThrowReadError() { throw EReadError("Stream read error"); }
[[noreturn]] void ThrowFormatError() { throw EFilerError("Invalid stream format"); }

void SkipValueAt(TStreamReader& r, int depth);

}  // namespace

void ThrowPropertyError(std::string_view name) {
  throw EFilerError("Property " + std::string(name) + " does not exist");
}

void ThrowPropertyValueError() { throw EFilerError("Invalid property value"); }

// ---- TStreamReader

void TStreamReader::Need(size_t n) const {
  if (n > data_.size() - pos_) {
    EReadError e("Stream read error");
    e.Offset = base_ + pos_;
    throw e;
  }
}

void TStreamReader::Locate(EError& e, size_t pos) const {
  if (!e.Offset) e.Offset = base_ + pos;
}

uint8_t TStreamReader::ReadByte() {
  Need(1);
  return static_cast<uint8_t>(data_[pos_++]);
}

uint16_t TStreamReader::ReadU16() {
  Need(2);
  const auto* p = reinterpret_cast<const uint8_t*>(data_.data() + pos_);
  pos_ += 2;
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t TStreamReader::ReadU32() {
  Need(4);
  const auto* p = reinterpret_cast<const uint8_t*>(data_.data() + pos_);
  pos_ += 4;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

std::string_view TStreamReader::ReadBytes(size_t n) {
  Need(n);
  std::string_view v = data_.substr(pos_, n);
  pos_ += n;
  return v;
}

std::string TStreamReader::ReadShortString() {
  const uint8_t n = ReadByte();
  return std::string(ReadBytes(n));
}

TValueType TStreamReader::NextValue() {
  Need(1);
  return static_cast<TValueType>(data_[pos_]);
}

TValueType TStreamReader::ReadValueType() { return static_cast<TValueType>(ReadByte()); }

bool TStreamReader::EndOfList() { return NextValue() == TValueType::Null; }

void TStreamReader::ReadListBegin() {
  if (ReadValueType() != TValueType::List) ThrowPropertyValueError();
}

void TStreamReader::ReadListEnd() {
  if (ReadValueType() != TValueType::Null) ThrowPropertyValueError();
}

int32_t TStreamReader::ReadInteger() {
  switch (ReadValueType()) {
    case TValueType::Int8:
      return static_cast<int8_t>(ReadByte());
    case TValueType::Int16:
      return static_cast<int16_t>(ReadU16());
    case TValueType::Int32:
      return static_cast<int32_t>(ReadU32());
    default:
      ThrowPropertyValueError();
  }
}

std::string TStreamReader::ReadString() {
  switch (ReadValueType()) {
    case TValueType::String:
      return ReadShortString();
    case TValueType::LString: {
      const uint32_t n = ReadU32();
      return std::string(ReadBytes(n));
    }
    default:
      ThrowPropertyValueError();
  }
}

std::string TStreamReader::ReadIdent() {
  switch (ReadValueType()) {
    case TValueType::Ident:
      return ReadShortString();
    case TValueType::False:
      return "False";
    case TValueType::True:
      return "True";
    case TValueType::Nil:
      return "nil";
    case TValueType::Null:
      return "Null";
    default:
      ThrowPropertyValueError();
  }
}

bool TStreamReader::ReadBoolean() {
  // Booleans are enumerations: written as types 8/9, but an identifier also reads.
  const std::string id = ReadIdent();
  auto same = [&](const char* w) {
    return id.size() == std::strlen(w) && std::equal(id.begin(), id.end(), w, [](char a, char b) {
             return std::tolower(static_cast<unsigned char>(a)) ==
                    std::tolower(static_cast<unsigned char>(b));
           });
  };
  if (same("False")) return false;
  if (same("True")) return true;
  ThrowPropertyValueError();
}

std::string_view TStreamReader::ReadBinary() {
  if (ReadValueType() != TValueType::Binary) ThrowPropertyValueError();
  const uint32_t n = ReadU32();
  return ReadBytes(n);
}

void TStreamReader::SkipValue() { SkipValueAt(*this, 0); }

void TStreamReader::ReadProperties(const TPropertyHandler& onProperty) {
  while (!EndOfList()) {
    const size_t start = pos_;
    try {
      const std::string name = ReadShortString();
      onProperty(*this, name);
    } catch (EError& e) {
      Locate(e, start);
      throw;
    }
  }
  ReadListEnd();
}

void TStreamReader::ReadCollection(const std::function<void(int)>& beginItem,
                                   const TPropertyHandler& onItemProperty) {
  if (ReadValueType() != TValueType::Collection) ThrowPropertyValueError();
  for (int index = 0; !EndOfList(); ++index) {
    const size_t start = pos_;
    try {
      const TValueType t = NextValue();
      if (t == TValueType::Int8 || t == TValueType::Int16 || t == TValueType::Int32) ReadInteger();
      // The item must be well-formed before the loader sees it.
      if (NextValue() != TValueType::List) ThrowPropertyValueError();
      beginItem(index);
      ReadListBegin();
      ReadProperties(onItemProperty);
    } catch (EError& e) {
      Locate(e, start);
      throw;
    }
  }
  ReadListEnd();
}

namespace {

void SkipValueAt(TStreamReader& r, int depth) {
  if (depth > kMaxSkipDepth) ThrowReadError();
  switch (r.ReadValueType()) {
    case TValueType::Null:
    case TValueType::False:
    case TValueType::True:
    case TValueType::Nil:
      return;
    case TValueType::List:
      while (!r.EndOfList()) SkipValueAt(r, depth + 1);
      r.ReadByte();
      return;
    case TValueType::Int8:
      r.ReadBytes(1);
      return;
    case TValueType::Int16:
      r.ReadBytes(2);
      return;
    case TValueType::Int32:
    case TValueType::Single:
      r.ReadBytes(4);
      return;
    case TValueType::Currency:
    case TValueType::Date:
    case TValueType::Int64:
      r.ReadBytes(8);
      return;
    case TValueType::Extended:
      r.ReadBytes(10);
      return;
    case TValueType::String:
    case TValueType::Ident:
      r.ReadBytes(r.ReadByte());
      return;
    case TValueType::Binary:
    case TValueType::LString:
    case TValueType::Utf8String:
      r.ReadBytes(r.ReadU32());
      return;
    case TValueType::WString: {
      const uint32_t n = r.ReadU32();
      if (n > r.Remaining() / 2) ThrowReadError();
      r.ReadBytes(static_cast<size_t>(n) * 2);
      return;
    }
    case TValueType::Set:
      for (;;) {
        const uint8_t n = r.ReadByte();
        if (n == 0) return;
        r.ReadBytes(n);
      }
    case TValueType::Collection:
      while (!r.EndOfList()) {
        const TValueType t = r.NextValue();
        if (t == TValueType::Int8 || t == TValueType::Int16 || t == TValueType::Int32)
          r.ReadInteger();
        r.ReadListBegin();
        while (!r.EndOfList()) {
          r.ReadShortString();
          SkipValueAt(r, depth + 1);
        }
        r.ReadByte();
      }
      r.ReadByte();
      return;
  }
  ThrowPropertyValueError();
}

}  // namespace

// ---- Resource header and component reader

std::string_view SkipResourceHeader(std::string_view file) {
  try {
    // The header is read in one piece of at most 79 bytes: a name of up to 63 characters
    // plus the fixed fields fits.
    const std::string_view head = file.substr(0, std::min<size_t>(file.size(), 79));
    if (head.size() < 3 || static_cast<uint8_t>(head[0]) != 0xFF ||
        static_cast<uint8_t>(head[1]) != 10 || static_cast<uint8_t>(head[2]) != 0)
      ThrowFormatError();
    const size_t zero = head.find('\0', 3);
    if (zero == std::string_view::npos) {
      if (head.size() < 79) ThrowReadError();
      ThrowFormatError();
    }
    const size_t start = zero + 1 + 2 + 4;  // flags and stream length
    if (start > file.size()) ThrowReadError();
    return file.substr(start);
  } catch (EError& e) {
    // A header that is cut ends at the end of the file; a bad one is bad from its start.
    if (!e.Offset) e.Offset = dynamic_cast<EReadError*>(&e) ? file.size() : 0;
    throw;
  }
}

TComponentReader::TComponentReader(std::string_view file) : reader_(StreamOf(file)) {
  const std::string_view sig = reader_.ReadBytes(4);
  if (std::memcmp(sig.data(), kSignature, 4) != 0) {
    EFilerError e("Invalid stream format");
    e.Offset = file.size() - reader_.Remaining() - 4;
    throw e;
  }
  const uint8_t prefix = static_cast<uint8_t>(reader_.NextValue());
  if ((prefix & 0xF0) == 0xF0) {
    reader_.ReadByte();
    if (prefix & 2) reader_.ReadInteger();  // child position, unused here
  }
  className_ = reader_.ReadShortString();
  objectName_ = reader_.ReadShortString();
}

TStreamReader TComponentReader::StreamOf(std::string_view file) {
  const std::string_view stream = SkipResourceHeader(file);
  return TStreamReader(stream, file.size() - stream.size());
}

void TComponentReader::ReadRootProperties(const TPropertyHandler& onProperty) {
  reader_.ReadProperties(onProperty);
  reader_.ReadListEnd();  // no children
}

// ---- Writer

void TStreamWriter::WriteU16(uint16_t v) {
  WriteByte(static_cast<uint8_t>(v));
  WriteByte(static_cast<uint8_t>(v >> 8));
}

void TStreamWriter::WriteU32(uint32_t v) {
  for (int i = 0; i < 4; ++i) WriteByte(static_cast<uint8_t>(v >> (8 * i)));
}

void TStreamWriter::WriteShortString(std::string_view s) {
  const size_t n = std::min<size_t>(s.size(), 255);
  WriteByte(static_cast<uint8_t>(n));
  out_.append(s.substr(0, n));
}

void TStreamWriter::WriteInteger(int32_t v) {
  if (v >= INT8_MIN && v <= INT8_MAX) {
    WriteValueType(TValueType::Int8);
    WriteByte(static_cast<uint8_t>(v));
  } else if (v >= INT16_MIN && v <= INT16_MAX) {
    WriteValueType(TValueType::Int16);
    WriteU16(static_cast<uint16_t>(v));
  } else {
    WriteValueType(TValueType::Int32);
    WriteU32(static_cast<uint32_t>(v));
  }
}

void TStreamWriter::WriteString(std::string_view s) {
  if (s.size() <= 255) {
    WriteValueType(TValueType::String);
    WriteShortString(s);
  } else {
    WriteValueType(TValueType::LString);
    WriteU32(static_cast<uint32_t>(s.size()));
    WriteBytes(s);
  }
}

void TStreamWriter::WriteIdent(std::string_view s) {
  WriteValueType(TValueType::Ident);
  WriteShortString(s);
}

void TStreamWriter::WriteBinary(std::string_view b) {
  WriteValueType(TValueType::Binary);
  WriteU32(static_cast<uint32_t>(b.size()));
  WriteBytes(b);
}

std::string MakeResourceHeader(std::string_view name, uint32_t streamLength) {
  TStreamWriter w;
  w.WriteByte(0xFF);
  w.WriteU16(10);
  std::string upper(name.substr(0, std::min<size_t>(name.size(), 63)));
  for (auto& c : upper) {
    if (c == '\0') c = '_';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  w.WriteBytes(upper);
  w.WriteByte(0);
  w.WriteU16(0x1030);
  w.WriteU32(streamLength);
  return w.Take();
}

std::string MakeComponentResource(std::string_view className, std::string_view objectName,
                                  const std::function<void(TStreamWriter&)>& writeProperties) {
  TStreamWriter w;
  w.WriteBytes(std::string_view(kSignature, 4));
  w.WriteShortString(className);
  w.WriteShortString(objectName);
  writeProperties(w);
  w.WriteListEnd();  // end of the root's properties
  w.WriteListEnd();  // no children
  const std::string& stream = w.Data();
  return MakeResourceHeader(className, static_cast<uint32_t>(stream.size())) + stream;
}

}  // namespace tk
