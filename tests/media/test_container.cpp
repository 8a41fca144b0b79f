#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/Container.h"
#include "platform/Errors.h"

using namespace tk;

namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

// The header the reader expects, then the stream.
std::string WithHeader(std::string_view stream, std::string_view name = "X") {
  return MakeResourceHeader(name, static_cast<uint32_t>(stream.size())) + std::string(stream);
}

template <class E, class F>
void ExpectError(F&& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no error, expected " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.what(), message);
  }
}

}  // namespace

TEST(Container, ResourceHeaderLayout) {
  const std::string h = MakeResourceHeader("TPictureCollectionComponent", 0x01020304);
  const std::string name = "TPICTURECOLLECTIONCOMPONENT";
  ASSERT_EQ(h.size(), 3 + name.size() + 1 + 2 + 4);
  EXPECT_EQ(h.substr(0, 3), Bytes({0xFF, 10, 0}));
  EXPECT_EQ(h.substr(3, name.size()), name);
  EXPECT_EQ(h.substr(3 + name.size()), Bytes({0, 0x30, 0x10, 4, 3, 2, 1}));
  // Names longer than 63 characters are cut.
  EXPECT_EQ(MakeResourceHeader(std::string(100, 'a'), 0).size(), 3 + 63 + 1 + 6u);
}

TEST(Container, WriterAndReaderAgreeOnEveryValueType) {
  const std::string longText(300, 'z');
  const std::string file = MakeComponentResource("TRoot", "Obj", [&](TStreamWriter& w) {
    w.WritePropName("Small");
    w.WriteInteger(-5);
    w.WritePropName("Medium");
    w.WriteInteger(-1000);
    w.WritePropName("Large");
    w.WriteInteger(100000);
    w.WritePropName("Short");
    w.WriteString("abc");
    w.WritePropName("Long");
    w.WriteString(longText);
    w.WritePropName("Colour");
    w.WriteIdent("clRed");
    w.WritePropName("Yes");
    w.WriteBoolean(true);
    w.WritePropName("No");
    w.WriteBoolean(false);
    w.WritePropName("List.Block");
    w.WriteBinary(std::string("\0\1\2", 3));
  });
  // Integers take the smallest type.
  EXPECT_NE(file.find(Bytes({5, 'S', 'm', 'a', 'l', 'l', 2, 0xFB})), std::string::npos);
  EXPECT_NE(file.find(Bytes({6, 'M', 'e', 'd', 'i', 'u', 'm', 3, 0x18, 0xFC})), std::string::npos);

  TComponentReader c(file);
  EXPECT_EQ(c.ClassName(), "TRoot");
  EXPECT_EQ(c.ObjectName(), "Obj");
  std::vector<std::string> names;
  c.ReadRootProperties([&](TStreamReader& r, std::string_view name) {
    names.emplace_back(name);
    if (name == "Small")
      EXPECT_EQ(r.ReadInteger(), -5);
    else if (name == "Medium")
      EXPECT_EQ(r.ReadInteger(), -1000);
    else if (name == "Large")
      EXPECT_EQ(r.ReadInteger(), 100000);
    else if (name == "Short")
      EXPECT_EQ(r.ReadString(), "abc");
    else if (name == "Long") {
      EXPECT_EQ(r.NextValue(), TValueType::LString);
      EXPECT_EQ(r.ReadString(), longText);
    } else if (name == "Colour")
      EXPECT_EQ(r.ReadIdent(), "clRed");
    else if (name == "Yes")
      EXPECT_TRUE(r.ReadBoolean());
    else if (name == "No")
      EXPECT_FALSE(r.ReadBoolean());
    else if (name == "List.Block")
      EXPECT_EQ(r.ReadBinary(), std::string("\0\1\2", 3));
    else
      ThrowPropertyError(name);
  });
  EXPECT_EQ(names.size(), 9u);
  EXPECT_EQ(c.Reader().Remaining(), 0u);
}

TEST(Container, CollectionItemsWithAndWithoutLeadingInteger) {
  TStreamWriter w;
  w.WriteCollectionBegin();
  w.WriteListBegin();
  w.WritePropName("Name");
  w.WriteString("a");
  w.WriteListEnd();
  w.WriteInteger(7);  // an item's optional position
  w.WriteListBegin();
  w.WritePropName("Name");
  w.WriteString("b");
  w.WritePropName("Looped");
  w.WriteBoolean(true);
  w.WriteListEnd();
  w.WriteListEnd();

  TStreamReader r(w.Data());
  std::vector<int> begun;
  std::vector<std::string> seen;
  r.ReadCollection([&](int i) { begun.push_back(i); },
                   [&](TStreamReader& rr, std::string_view name) {
                     if (name == "Name")
                       seen.push_back(rr.ReadString());
                     else if (name == "Looped")
                       seen.push_back(rr.ReadBoolean() ? "T" : "F");
                     else
                       ThrowPropertyError(name);
                   });
  EXPECT_EQ(begun, (std::vector<int>{0, 1}));
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "T"}));
  EXPECT_EQ(r.Remaining(), 0u);

  // An empty collection never begins an item (so a loader keeps what it had).
  const std::string emptyBytes = Bytes({14, 0});
  TStreamReader empty(emptyBytes);
  empty.ReadCollection([&](int) { ADD_FAILURE(); }, [](TStreamReader&, std::string_view) {});
}

TEST(Container, PrefixByteAndIdentifierBooleans) {
  // Flags byte 0xF2 carries an integer; 0xF1 does not.
  for (const std::string& prefix : {Bytes({0xF2, 3, 0x10, 0x00}), Bytes({0xF1})}) {
    const std::string stream =
        "TPF0" + prefix + Bytes({1, 'C', 0, 1, 'B', 7, 4}) + "true" + Bytes({0, 0});
    const std::string file = WithHeader(stream);
    TComponentReader c(file);
    EXPECT_EQ(c.ClassName(), "C");
    bool b = false;
    c.ReadRootProperties([&](TStreamReader& r, std::string_view) { b = r.ReadBoolean(); });
    EXPECT_TRUE(b);
  }
}

TEST(Container, SkipValueCoversNestedValues) {
  TStreamWriter w;
  w.WriteCollectionBegin();
  w.WriteListBegin();
  w.WritePropName("P");
  w.WriteBinary("xyz");
  w.WriteListEnd();
  w.WriteListEnd();
  w.WriteByte(11);  // a set: names until an empty one
  w.WriteShortString("a");
  w.WriteShortString("");
  w.WriteByte(5);  // extended: 10 bytes
  w.WriteBytes(std::string(10, '\0'));
  w.WriteValueType(TValueType::WString);
  w.WriteU32(2);
  w.WriteBytes("abcd");
  w.WriteInteger(99);
  TStreamReader r(w.Data());
  for (int i = 0; i < 4; ++i) r.SkipValue();
  EXPECT_EQ(r.ReadInteger(), 99);
}

namespace {

// Reads a root object whose properties S and B are a string and a block; any other is refused.
void ReadStringsAndBlocks(const std::string& file) {
  TComponentReader reader(file);
  reader.ReadRootProperties([](TStreamReader& r, std::string_view name) {
    if (name == "S")
      r.ReadString();
    else if (name == "B")
      r.ReadBinary();
    else
      ThrowPropertyError(name);
  });
}

}  // namespace

TEST(Container, Errors) {
  const std::string good = MakeComponentResource("T", "", [](TStreamWriter&) {});
  struct Case {
    const char* what;
    std::string file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty file", "", "Invalid stream format"},
      {"first byte", "\xFE" + good.substr(1), "Invalid stream format"},
      {"resource type", good.substr(0, 1) + Bytes({11, 0}) + good.substr(3),
       "Invalid stream format"},
      {"name not terminated", Bytes({0xFF, 10, 0}) + std::string(100, 'A'),
       "Invalid stream format"},
      {"header cut", Bytes({0xFF, 10, 0, 'A', 0, 0x30}), "Stream read error"},
      {"signature", WithHeader("TPF1" + Bytes({1, 'T', 0, 0, 0})), "Invalid stream format"},
      {"stream cut", good.substr(0, good.size() - 1), "Stream read error"},
      {"long string longer than the rest",
       WithHeader("TPF0" + Bytes({1, 'T', 0, 1, 'S', 12, 0xFF, 0xFF, 0xFF, 0x7F, 'a'})),
       "Stream read error"},
      {"block longer than the rest",
       WithHeader("TPF0" + Bytes({1, 'T', 0, 1, 'B', 10, 0xFF, 0xFF, 0xFF, 0xFF})),
       "Stream read error"},
      {"unknown property", WithHeader("TPF0" + Bytes({1, 'T', 0, 3, 'B', 'a', 'd', 2, 1, 0, 0})),
       "Property Bad does not exist"},
      {"wrong value type", WithHeader("TPF0" + Bytes({1, 'T', 0, 1, 'S', 2, 1, 0, 0})),
       "Invalid property value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ReadStringsAndBlocks(c.file);
      ADD_FAILURE() << "no error";
    } catch (const EError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
  // Typed reads of other types.
  ExpectError<EFilerError>(
      [] {
        const std::string d = Bytes({6, 0});
        TStreamReader(d).ReadInteger();
      },
      "Invalid property value");
  ExpectError<EFilerError>(
      [] {
        const std::string d = Bytes({7, 1, 'x'});
        TStreamReader(d).ReadBoolean();
      },
      "Invalid property value");
  ExpectError<EFilerError>(
      [] {
        const std::string d = Bytes({6, 0});
        TStreamReader(d).ReadBinary();
      },
      "Invalid property value");
  ExpectError<EReadError>(
      [] {
        const std::string d = Bytes({4, 1, 2});
        TStreamReader(d).ReadInteger();
      },
      "Stream read error");
}

TEST(Container, ErrorsCarryTheirOffsetInTheFile) {
  const size_t header = WithHeader("").size();
  const std::string good = MakeComponentResource("T", "", [](TStreamWriter&) {});
  struct Case {
    const char* what;
    std::string file;
    uint64_t offset;
  };
  const std::vector<Case> cases = {
      {"first byte", "\xFE" + good.substr(1), 0},
      {"header cut", Bytes({0xFF, 10, 0, 'A', 0, 0x30}), 6},
      {"signature", WithHeader("TPF1" + Bytes({1, 'T', 0, 0, 0})), header},
      {"stream cut", good.substr(0, good.size() - 1), good.size() - 1},
      // The read that ran out: the block's bytes after its type and length.
      {"block longer than the rest",
       WithHeader("TPF0" + Bytes({1, 'T', 0, 1, 'B', 10, 0xFF, 0xFF, 0xFF, 0xFF})),
       header + 7 + 2 + 1 + 4},
      // A refused property: where its name starts.
      {"unknown property",
       WithHeader("TPF0" + Bytes({1, 'T', 0, 1, 'S', 6, 0, 3, 'B', 'a', 'd', 2, 1, 0, 0})),
       header + 7 + 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ReadStringsAndBlocks(c.file);
      ADD_FAILURE() << "no error";
    } catch (const EError& e) {
      ASSERT_TRUE(e.Offset.has_value());
      EXPECT_EQ(*e.Offset, c.offset);
      EXPECT_EQ(e.FullMessage(), "offset " + std::to_string(c.offset) + ": " + e.what());
    }
  }
}
