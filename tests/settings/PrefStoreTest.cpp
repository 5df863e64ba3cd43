// The key/value table: its line rules, numbers, limits, and reading and writing real files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "multio/StreamOpener.h"
#include "multio/TextReader_Stream.h"
#include "multio/TextWriter_Stream.h"
#include "settings/PrefStore.h"
#include "support/TempDir.h"

namespace {

// Reads `bytes` from a real file into the store, as loading does.
void readFromFile(PrefStore& store, const std::string& bytes) {
  vltest::TempDir dir;
  const std::string path = dir.file("in.ini");
  ASSERT_TRUE(vltest::TempDir::writeFile(path, bytes));
  std::unique_ptr<multio::Stream> stream;
  ASSERT_EQ(multio::makeFileStreamOpener()->open(path.c_str(), multio::kOpenRead, stream), 0);
  {
    multio::TextReader_Stream reader(stream.get());
    EXPECT_EQ(store.readAll(reader), 0);
  }
  stream->close();
}

std::string writeToFile(const PrefStore& store, int32_t* result = nullptr) {
  vltest::TempDir dir;
  const std::string path = dir.file("out.ini");
  std::unique_ptr<multio::Stream> stream;
  EXPECT_EQ(multio::makeFileStreamOpener()->open(path.c_str(), 0x602, stream), 0);
  if (!stream) return {};
  {
    multio::TextWriter_Stream writer(stream.get(), 4096);
    const int32_t r = store.writeAll(writer);
    if (result != nullptr) *result = r;
  }
  stream->close();
  return vltest::TempDir::readFile(path);
}

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

}  // namespace

TEST(PrefStore, SetLineSplitsUpperCasesAndReplacesInPlace) {
  PrefStore store;
  EXPECT_EQ(store.setLine("G.MODE = 1"), 0);
  EXPECT_EQ(store.setLine("mo.0.port=3"), 0);
  EXPECT_EQ(store.setLine("Key.ä=x y z"), 0);
  ASSERT_EQ(store.size(), 3);
  EXPECT_STREQ(store.keyAt(0), "G.MODE");
  EXPECT_STREQ(store.valueAt(0), "1");
  EXPECT_STREQ(store.keyAt(1), "MO.0.PORT");
  EXPECT_STREQ(store.keyAt(2), "KEY.ä");  // only a to z change case
  EXPECT_STREQ(store.valueAt(2), "x y z");

  EXPECT_EQ(store.setLine("G.MODE=0"), 0);
  EXPECT_EQ(store.size(), 3);
  EXPECT_STREQ(store.keyAt(0), "G.MODE");
  EXPECT_STREQ(store.valueAt(0), "0");

  // Look-up is exact: the stored key is upper case.
  EXPECT_EQ(store.getInt("mo.0.port", -5), -5);
  EXPECT_EQ(store.getInt("MO.0.PORT", -5), 3);
  EXPECT_EQ(store.keyAt(3), nullptr);
  EXPECT_EQ(store.keyAt(-1), nullptr);
}

TEST(PrefStore, EmptyValueOrMissingEqualsStoresNothing) {
  PrefStore store;
  EXPECT_EQ(store.setLine("MO.0.CTS="), -2);
  EXPECT_EQ(store.setLine("MO.0.CTS = \t "), -2);
  EXPECT_EQ(store.setLine("NO EQUALS"), -2);
  EXPECT_EQ(store.setLine(nullptr), -2);
  EXPECT_EQ(store.size(), 0);
  // The key stops at its first blank; the value keeps inner blanks and '='.
  EXPECT_EQ(store.setLine("A B=c=d"), 0);
  EXPECT_STREQ(store.keyAt(0), "A");
  EXPECT_STREQ(store.valueAt(0), "c=d");
}

TEST(PrefStore, HoldsExactly256EntriesAndDropsLaterNewKeys) {
  PrefStore store;
  for (int i = 0; i < 300; ++i) EXPECT_EQ(store.setLine(("K" + std::to_string(i) + "=" + std::to_string(i)).c_str()), 0);
  EXPECT_EQ(store.size(), 256);
  EXPECT_EQ(store.getInt("K255", -1), 255);
  EXPECT_EQ(store.getInt("K256", -1), -1);
  // Keys already in the table can still change.
  EXPECT_EQ(store.setLine("K0=77"), 0);
  EXPECT_EQ(store.getInt("K0", -1), 77);
  store.clear();
  EXPECT_EQ(store.size(), 0);
  EXPECT_EQ(store.getInt("K0", -1), -1);
}

TEST(PrefStore, IntegersReadLikeStrtolWith32BitLong) {
  EXPECT_EQ(PrefStore::parseInt("0x7A120"), 500000);
  EXPECT_EQ(PrefStore::parseInt("010"), 8);
  EXPECT_EQ(PrefStore::parseInt("-64"), -64);
  EXPECT_EQ(PrefStore::parseInt("+12abc"), 12);
  EXPECT_EQ(PrefStore::parseInt("abc"), 0);
  EXPECT_EQ(PrefStore::parseInt("2147483647"), kMax);
  EXPECT_EQ(PrefStore::parseInt("-2147483648"), kMin);
  EXPECT_EQ(PrefStore::parseInt("2147483648"), kMax);
  EXPECT_EQ(PrefStore::parseInt("-2147483649"), kMin);
  EXPECT_EQ(PrefStore::parseInt("0xFFFFFFFF"), kMax);
  EXPECT_EQ(PrefStore::parseInt("99999999999999999999999999999"), kMax);
  EXPECT_EQ(PrefStore::parseInt("-99999999999999999999999999999"), kMin);
}

TEST(PrefStore, RealsReadLikeStrtodInTheCLocale) {
  EXPECT_EQ(PrefStore::parseReal("1.25"), 1.25);
  EXPECT_EQ(PrefStore::parseReal(" +0.5x"), 0.5);
  EXPECT_EQ(PrefStore::parseReal("-3e2"), -300.0);
  EXPECT_EQ(PrefStore::parseReal("1,5"), 1.0);  // ',' is never a decimal point
  EXPECT_EQ(PrefStore::parseReal(".75"), 0.75);
  EXPECT_EQ(PrefStore::parseReal("0x1.8p1"), 3.0);
  EXPECT_EQ(PrefStore::parseReal("0x"), 0.0);
  EXPECT_EQ(PrefStore::parseReal("abc"), 0.0);
  EXPECT_EQ(PrefStore::parseReal("--1"), 0.0);
  EXPECT_EQ(PrefStore::parseReal("1e400"), HUGE_VAL);
  EXPECT_EQ(PrefStore::parseReal("-1e400"), -HUGE_VAL);
  EXPECT_EQ(PrefStore::parseReal("0.00001e-400"), 0.0);
  EXPECT_EQ(PrefStore::parseReal(("1" + std::string(400, '0')).c_str()), HUGE_VAL);
  EXPECT_EQ(PrefStore::parseReal(("0." + std::string(400, '0') + "1").c_str()), 0.0);
  EXPECT_EQ(PrefStore::parseReal("inf"), HUGE_VAL);
  EXPECT_TRUE(std::isnan(PrefStore::parseReal("nan")));
}

TEST(PrefStore, ReadAllAppliesTheLineRules) {
  PrefStore store;
  readFromFile(store,
               "# a comment line\r\n"
               "  mo.1.gamma =  1.25   # a note\r\n"
               "no equals sign here\n"
               "   \t\n"
               "\n"
               "MO.0.CTS=\n"
               "COMMENT.KEY=#value\n"
               "#HIDDEN=1\n"
               "DUP=1\n"
               "OTHER=2\n"
               "dup=3\n"
               "LAST=tail");
  ASSERT_EQ(store.size(), 4);
  EXPECT_STREQ(store.keyAt(0), "MO.1.GAMMA");
  EXPECT_STREQ(store.valueAt(0), "1.25");
  EXPECT_EQ(store.getReal("MO.1.GAMMA", 0.0), 1.25);
  EXPECT_STREQ(store.keyAt(1), "DUP");
  EXPECT_STREQ(store.valueAt(1), "3");
  EXPECT_STREQ(store.keyAt(2), "OTHER");
  EXPECT_STREQ(store.keyAt(3), "LAST");
  EXPECT_STREQ(store.valueAt(3), "tail");
}

TEST(PrefStore, OnlyTheFirst1023BytesOfALineCount) {
  PrefStore store;
  const std::string value(2000, '7');
  // The line's tail, past the ring's 4096 bytes, must not be read as a line of its own.
  const std::string hidden = "#" + std::string(5000, 'c') + "HIDDEN=1";
  readFromFile(store, "LONG=" + value + "\n" + hidden + "\nAFTER=1\n");
  ASSERT_NE(store.find("LONG"), nullptr);
  EXPECT_EQ(std::string(store.find("LONG")), std::string(1023 - 5, '7'));
  EXPECT_EQ(store.find("HIDDEN"), nullptr);
  EXPECT_EQ(store.getInt("AFTER", 0), 1);
  EXPECT_EQ(store.size(), 2);
}

TEST(PrefStore, WriteAllGivesKeyEqualsValueLinesInOrder) {
  PrefStore store;
  store.setLine("G.MODE = 0");
  store.setLine("foo.bar=1");
  store.setLine("Z = two words");
  int32_t result = -5;
  EXPECT_EQ(writeToFile(store, &result), "G.MODE=0\nFOO.BAR=1\nZ=two words\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(writeToFile(PrefStore{}), "");
}

TEST(PrefStore, WriteAllReportsALineThatDidNotGoOutWhole) {
  struct ShortStream : multio::Stream {
    int32_t write(const void*, int32_t count, int32_t) override { return count > 3 ? 3 : count; }
  } shortStream;
  PrefStore store;
  store.setLine("AB=C");
  multio::TextWriter_Stream fits(&shortStream, 64);
  EXPECT_EQ(store.writeAll(fits), -1);
  store.clear();
  store.setLine("A=");  // not stored
  store.setLine("A=1");
  EXPECT_EQ(store.writeAll(fits), -1);  // "A=1\n" is 4 bytes, the stream takes 3
}
