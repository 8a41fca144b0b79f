// The archive container shared by the graphics and the sound archive: a 16-bit resource
// header around a component stream ("TPF0", root class and object name, a property list).
//
// Reading an archive:
//
//   TComponentReader c(fileBytes);           // header, signature, prefix, names
//   if (c.ClassName() != "TWaveCollectionComponent") ...   // the tools dispatch on it
//   c.ReadRootProperties([&](TStreamReader& r, std::string_view name) {
//     if (name == "List") {
//       r.ReadCollection([&](int index) { if (index == 0) items.Clear(); items.Add(); },
//                        [&](TStreamReader& r, std::string_view prop) {
//                          if (prop == "Name") item.SetName(r.ReadString());
//                          else if (prop == "Wave.WAVE") ... r.ReadBinary() ...
//                          else ThrowPropertyError(prop);
//                        });
//     } else ThrowPropertyError(name);
//   });
//
// A property callback must consume exactly one value for each name it accepts, and call
// ThrowPropertyError for a name its object does not have. The typed Read* calls fail with
// "Invalid property value" when the stored value has another type, and every read past the
// end fails with "Stream read error" (lengths are checked against what remains before
// anything is allocated). Every error leaving a reader carries the byte offset in the file
// where it was found (EError::Offset): the read that ran out, or the start of the property
// or collection item whose value was refused.
// Dotted names ("List.ColorTable", "Picture.Data", "Wave.WAVE") arrive whole; the callback
// matches them.
//
// Writing one:
//
//   std::string file = MakeComponentResource("TWaveCollectionComponent", "",
//       [&](TStreamWriter& w) {
//         w.WritePropName("List");
//         w.WriteCollectionBegin();
//         for (...) { w.WriteListBegin(); w.WritePropName("Name"); w.WriteString(n); ...
//                     w.WriteListEnd(); }
//         w.WriteListEnd();
//       });
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tk {

// The value type byte in front of every value.
enum class TValueType : uint8_t {
  Null = 0,  // end of a list
  List = 1,  // begin of a collection item
  Int8 = 2,
  Int16 = 3,
  Int32 = 4,
  Extended = 5,
  String = 6,
  Ident = 7,
  False = 8,
  True = 9,
  Binary = 10,
  Set = 11,
  LString = 12,
  Nil = 13,
  Collection = 14,
  Single = 15,
  Currency = 16,
  Date = 17,
  WString = 18,
  Int64 = 19,
  Utf8String = 20,
};

class EError;
class TStreamReader;
using TPropertyHandler = std::function<void(TStreamReader& r, std::string_view name)>;

// Throws EFilerError "Property %s does not exist".
[[noreturn]] void ThrowPropertyError(std::string_view name);
// Throws EFilerError "Invalid property value".
[[noreturn]] void ThrowPropertyValueError();

// Reads values from a component stream held in memory (the view must outlive the reader).
class TStreamReader {
 public:
  // `base` is where the data starts in its file: errors report offsets in the file.
  explicit TStreamReader(std::string_view data, size_t base = 0) : data_(data), base_(base) {}
  explicit TStreamReader(std::string&&) = delete;  // would dangle

  size_t Position() const { return pos_; }
  size_t Remaining() const { return data_.size() - pos_; }

  // Raw reads; "Stream read error" past the end.
  uint8_t ReadByte();
  uint16_t ReadU16();
  uint32_t ReadU32();
  std::string_view ReadBytes(size_t n);
  std::string ReadShortString();  // length byte, then the bytes

  TValueType NextValue();  // peeks at the next type byte
  TValueType ReadValueType();
  bool EndOfList();      // the next byte is 0 (not consumed)
  void ReadListBegin();  // type 1, else "Invalid property value"
  void ReadListEnd();    // type 0, else "Invalid property value"

  // Typed values; each fails with "Invalid property value" for another type.
  int32_t ReadInteger();          // types 2, 3, 4
  std::string ReadString();       // types 6, 12
  std::string ReadIdent();        // type 7; also 8/9 as "False"/"True", 13 "nil", 0 "Null"
  bool ReadBoolean();             // types 8, 9, or the identifiers False/True
  std::string_view ReadBinary();  // type 10: the block's bytes
  void SkipValue();               // any value of any known type

  // The properties of one object up to and including the closing 0 byte.
  void ReadProperties(const TPropertyHandler& onProperty);
  // A collection value (type 14): each item is an optional integer (ignored), a list
  // begin, its properties and a 0; a 0 closes the collection. beginItem(i) is called
  // before item i's properties (i = 0 is where a loader empties its collection, which
  // therefore happens only when at least one item follows).
  void ReadCollection(const std::function<void(int index)>& beginItem,
                      const TPropertyHandler& onItemProperty);

 private:
  void Need(size_t n) const;
  // Marks an error that does not know its place yet with the given position.
  void Locate(EError& e, size_t pos) const;
  std::string_view data_;
  size_t base_ = 0;
  size_t pos_ = 0;
};

// Skips the resource header and returns the component stream after it. Fails with
// "Invalid stream format" when byte 0 is not 0xFF, the type is not 10 or the name is not
// terminated within the first 79 bytes; with "Stream read error" when the header is cut.
std::string_view SkipResourceHeader(std::string_view file);

// A whole archive file: the resource header, the signature, the optional prefix, the root
// class and object name are read on construction.
class TComponentReader {
 public:
  explicit TComponentReader(std::string_view file);  // the bytes must outlive the reader
  explicit TComponentReader(std::string&&) = delete;
  const std::string& ClassName() const { return className_; }
  const std::string& ObjectName() const { return objectName_; }
  // The root's properties, then its (empty) child list.
  void ReadRootProperties(const TPropertyHandler& onProperty);
  TStreamReader& Reader() { return reader_; }

 private:
  static TStreamReader StreamOf(std::string_view file);
  TStreamReader reader_;
  std::string className_, objectName_;
};

// Builds a component stream. Integers take the smallest of the types 2, 3, 4; strings up
// to 255 bytes are type 6, longer ones type 12.
class TStreamWriter {
 public:
  void WriteByte(uint8_t b) { out_ += static_cast<char>(b); }
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteBytes(std::string_view b) { out_.append(b); }
  void WriteShortString(std::string_view s);  // must be at most 255 bytes

  void WriteValueType(TValueType t) { WriteByte(static_cast<uint8_t>(t)); }
  void WritePropName(std::string_view name) { WriteShortString(name); }
  void WriteInteger(int32_t v);
  void WriteString(std::string_view s);
  void WriteIdent(std::string_view s);
  void WriteBoolean(bool b) { WriteValueType(b ? TValueType::True : TValueType::False); }
  void WriteBinary(std::string_view b);
  void WriteListBegin() { WriteValueType(TValueType::List); }
  void WriteListEnd() { WriteValueType(TValueType::Null); }
  void WriteCollectionBegin() { WriteValueType(TValueType::Collection); }

  const std::string& Data() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// The resource header for a component stream of the given length: 0xFF, type 10, the
// upper-cased name (at most 63 bytes), flags 0x1030, the length.
std::string MakeResourceHeader(std::string_view name, uint32_t streamLength);

// A whole archive file: header, "TPF0", class name, object name, the root's properties
// written by writeProperties, the end of that list and the empty child list. The resource
// is named after the class.
std::string MakeComponentResource(std::string_view className, std::string_view objectName,
                                  const std::function<void(TStreamWriter&)>& writeProperties);

}  // namespace tk
