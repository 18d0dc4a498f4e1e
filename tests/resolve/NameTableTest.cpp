#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "core/Resources.h"
#include "resolve/NameTable.h"
#include "resolve/ResolveTestSupport.h"

namespace qm {
namespace {

using test::Exists;
using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;

using Bytes = std::array<std::uint8_t, 4>;

// A listing line whose cut text (position 20 on) holds text at column.
std::string LineWith(const std::string& text, std::size_t column, char filler = ' ') {
  return std::string(19, '#') + std::string(column - 1, filler) + text + "      |";
}

// Stands in for the tool: writes the listings it was given, or fails.
class NameTableTest : public ::testing::Test {
 protected:
  NameTableTest() : table(folder.Path(), "/opt/tool/quillmoor98-nbtstat") {
    table.SetCommandRunner(
        [this](const std::vector<std::string>& arguments, const std::string& output) {
          calls.push_back(arguments);
          outputs.push_back(output);
          const bool addresses = arguments.back() == "-S";
          const int code = addresses ? addressCode : nameCode;
          if (code == 0) WriteFileText(output, addresses ? addressListing : nameListing);
          return code;
        });
    table.SetReverseLookup([this](const Bytes& bytes) {
      asked.push_back(bytes);
      return std::string("host.example");
    });
  }

  void Listings(const std::vector<std::string>& names, const std::vector<std::string>& addresses) {
    nameListing.clear();
    addressListing.clear();
    for (const auto& l : names) nameListing += l + "\n";
    for (const auto& l : addresses) addressListing += l + "\n";
  }

  ScratchFolder folder;
  NameTable table;
  std::string nameListing, addressListing;
  int addressCode = 0, nameCode = 0;
  std::vector<std::vector<std::string>> calls;
  std::vector<std::string> outputs;
  std::vector<Bytes> asked;
};

TEST_F(NameTableTest, PairsTheNameColumnWithTheAddressColumn) {
  Listings({"header line of the listing, long enough", LineWith("PC7", 30, '-')},
           {"header line of the listing, long enough", LineWith("192.168.0.7", 30)});
  const AddressResult r = table.LookupAddress("PC7");
  EXPECT_EQ(r.Address, "192.168.0.7");
  EXPECT_EQ(r.HostName, "host.example");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], (Bytes{192, 168, 0, 7}));
  // Addresses first, then names; the tool is run itself, with an argument.
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"/opt/tool/quillmoor98-nbtstat", "-S"}));
  EXPECT_EQ(outputs[0], folder.File("IP.txt"));
  EXPECT_EQ(calls[1], (std::vector<std::string>{"/opt/tool/quillmoor98-nbtstat", "-s"}));
  EXPECT_EQ(outputs[1], folder.File("NetBIOS.txt"));
  EXPECT_FALSE(Exists(folder.File("IP.txt")));
  EXPECT_FALSE(Exists(folder.File("NetBIOS.txt")));
}

TEST_F(NameTableTest, ReadsListingsWithCarriageReturns) {
  Listings({LineWith("PC7", 5) + "\r"}, {LineWith("10.0.0.1", 5) + "\r"});
  EXPECT_EQ(table.LookupAddress("PC7").Address, "10.0.0.1");
}

TEST_F(NameTableTest, TakesSixteenCharactersTrimmed) {
  Listings({LineWith("PC7", 3)}, {LineWith(" \t10.0.0.1\x01    999999", 3)});
  EXPECT_EQ(table.LookupAddress("PC7").Address, "10.0.0.1\x01    9");
  Listings({LineWith("PC7", 3)}, {LineWith("\x01 10.0.0.1 \x02", 3)});
  EXPECT_EQ(table.LookupAddress("PC7").Address, "10.0.0.1");
}

TEST_F(NameTableTest, MatchesPartOfALongerNameAndTheLastMatchWins) {
  // PC1 is part of PC10: alone, that line matches.
  Listings({LineWith("PC10", 8)}, {LineWith("10.0.0.10", 8)});
  EXPECT_EQ(table.LookupAddress("PC1").Address, "10.0.0.10");
  // A later line with the name itself overrides it.
  Listings({LineWith("PC10", 8), LineWith("PC1", 8)},
           {LineWith("10.0.0.10", 8), LineWith("10.0.0.1", 8)});
  EXPECT_EQ(table.LookupAddress("PC1").Address, "10.0.0.1");
  EXPECT_EQ(table.LookupAddress("PC10").Address, "10.0.0.10");
}

TEST_F(NameTableTest, NameInOtherLetterCaseIsNotFound) {
  Listings({LineWith("PC7", 8)}, {LineWith("10.0.0.7", 8)});
  const AddressResult r = table.LookupAddress("pc7");
  EXPECT_EQ(r.Address, kNotKnown);
  EXPECT_EQ(r.HostName, kNotKnown);
  EXPECT_TRUE(asked.empty());
}

TEST_F(NameTableTest, LinesOfTwentyCharactersOrFewerNeverMatch) {
  // Twenty characters: the name stands at positions 18 to 20, all cut away.
  Listings({"#################PC7", "PC7", ""}, {"#################1.2", "1.2.3.4", ""});
  EXPECT_EQ(table.LookupAddress("PC7").Address, kNotKnown);
  // One more character puts the name's last letter into the cut line.
  Listings({"##################PC7#"}, {"##################1.2.3.4#"});
  EXPECT_EQ(table.LookupAddress("7").Address, "2.3.4");
}

TEST_F(NameTableTest, MissingAddressLinesNeverMatch) {
  Listings({LineWith("PC1", 4), LineWith("PC2", 4), LineWith("PC3", 4)}, {LineWith("10.0.0.1", 4)});
  EXPECT_EQ(table.LookupAddress("PC3").Address, kNotKnown);
  EXPECT_EQ(table.LookupAddress("PC1").Address, "10.0.0.1");
}

TEST_F(NameTableTest, BlankAddressIsNotKnown) {
  Listings({LineWith("PC1", 4)}, {LineWith("          ", 4)});
  const AddressResult r = table.LookupAddress("PC1");
  EXPECT_EQ(r.Address, kNotKnown);
  EXPECT_EQ(r.HostName, kNotKnown);
}

TEST_F(NameTableTest, TextThatIsNoAddressIsKeptWithoutHostName) {
  Listings({LineWith("nected", 4)}, {LineWith("Connected  In", 1)});
  const AddressResult r = table.LookupAddress("nected");
  EXPECT_EQ(r.Address, "nected  In");
  EXPECT_EQ(r.HostName, kNotKnown);
  EXPECT_TRUE(asked.empty());
}

TEST_F(NameTableTest, FailedFirstCommandLeavesOldFilesAndTheNextPassDeletesThem) {
  WriteFileText(folder.File("IP.txt"), "old addresses\n");
  WriteFileText(folder.File("NetBIOS.txt"), "old names\n");
  Listings({LineWith("PC1", 4)}, {LineWith("10.0.0.1", 4)});
  addressCode = 1;
  AddressResult r = table.LookupAddress("PC1");
  EXPECT_EQ(r.Address, kNotKnown);
  EXPECT_EQ(r.HostName, kNotKnown);
  EXPECT_EQ(calls.size(), 1u);  // the name capture is not run
  EXPECT_EQ(ReadFileText(folder.File("IP.txt")), "old addresses\n");
  EXPECT_EQ(ReadFileText(folder.File("NetBIOS.txt")), "old names\n");

  addressCode = 0;
  r = table.LookupAddress("PC1");
  EXPECT_EQ(r.Address, "10.0.0.1");
  EXPECT_FALSE(Exists(folder.File("IP.txt")));
  EXPECT_FALSE(Exists(folder.File("NetBIOS.txt")));
}

TEST_F(NameTableTest, FailedNameCommandOrUnreadableFileGivesNotKnown) {
  Listings({LineWith("PC1", 4)}, {LineWith("10.0.0.1", 4)});
  nameCode = -1;
  EXPECT_EQ(table.LookupAddress("PC1").Address, kNotKnown);
  EXPECT_TRUE(Exists(folder.File("IP.txt")));

  // The tool says it succeeded but wrote nothing.
  table.SetCommandRunner([](const std::vector<std::string>&, const std::string&) { return 0; });
  std::remove(folder.File("IP.txt").c_str());
  EXPECT_EQ(table.LookupAddress("PC1").Address, kNotKnown);
}

TEST_F(NameTableTest, CapturesOneAtATimeAndLooksUpHostsTogether) {
  Listings({LineWith("PC1", 4)}, {LineWith("10.0.0.1", 4)});
  std::atomic<int> capturing{0}, mostCapturing{0};
  table.SetCommandRunner([&](const std::vector<std::string>& arguments, const std::string& out) {
    const int now = ++capturing;
    int seen = mostCapturing.load();
    while (now > seen && !mostCapturing.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    WriteFileText(out, arguments.back() == "-S" ? addressListing : nameListing);
    --capturing;
    return 0;
  });
  // Each reverse lookup waits (up to a limit) until another one is running.
  std::mutex mutex;
  std::condition_variable cv;
  int inLookup = 0;
  bool overlapped = false;
  table.SetReverseLookup([&](const Bytes&) {
    std::unique_lock lock(mutex);
    ++inLookup;
    cv.notify_all();
    if (cv.wait_for(lock, std::chrono::seconds(10), [&] { return inLookup >= 2; })) {
      overlapped = true;
    }
    return std::string("h");
  });
  std::vector<std::thread> threads;
  std::vector<AddressResult> results(4);
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = table.LookupAddress("PC1"); });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mostCapturing.load(), 1);
  EXPECT_TRUE(overlapped);
  for (const auto& r : results) EXPECT_EQ(r.Address, "10.0.0.1");
}

TEST(NameTableParse, CutLineKeepsPositionsTwentyToTheLastButOne) {
  EXPECT_EQ(NameTable::CutLine(""), "");
  EXPECT_EQ(NameTable::CutLine(std::string(20, 'x')), "");
  EXPECT_EQ(NameTable::CutLine(std::string(19, 'x') + "AB"), "A");
  EXPECT_EQ(NameTable::CutLine(std::string(19, 'x') + "hello!"), "hello");
}

TEST(NameTableParse, EmptyNameMatchesNothing) {
  std::istringstream names(LineWith("PC1", 2) + "\n"), addresses(LineWith("1.2.3.4", 2) + "\n");
  std::string found;
  ASSERT_TRUE(NameTable::PairListings(names, addresses, "", found));
  EXPECT_EQ(found, kNotKnown);
}

TEST(NameTableParse, NextOctetTakesTheNumberBeforeTheFirstDot) {
  std::string text = "192.168.0.7";
  EXPECT_EQ(NameTable::NextOctet(text), 192);
  EXPECT_EQ(text, "168.0.7");
  EXPECT_EQ(NameTable::NextOctet(text), 168);
  EXPECT_EQ(NameTable::NextOctet(text), 0);
  EXPECT_EQ(text, "7");
  EXPECT_EQ(NameTable::NextOctet(text), 7);
  EXPECT_EQ(text, "7");  // no dot: the whole text, unchanged

  text = "007.x";
  EXPECT_EQ(NameTable::NextOctet(text), 7);
  EXPECT_EQ(NameTable::NextOctet(text), -1);
  text = "ab.1";
  EXPECT_EQ(NameTable::NextOctet(text), -1);
  EXPECT_EQ(text, "1");
  text = "";
  EXPECT_EQ(NameTable::NextOctet(text), -1);
  text = "99999999999999";
  EXPECT_EQ(NameTable::NextOctet(text), -1);
}

TEST(NameTableParse, AnAddressIsFourNumbersUpTo255) {
  Bytes b{};
  EXPECT_TRUE(NameTable::ParseAddress("10.0.255.1", b));
  EXPECT_EQ(b, (Bytes{10, 0, 255, 1}));
  for (const char* bad : {"10.0.0", "10.0.0.1.2", "10.0.0.256", "10..0.1", "10.0.0.", " 10.0.0.1",
                          "10.0.0.1 x", "-1.0.0.1", "Not known", ""}) {
    EXPECT_FALSE(NameTable::ParseAddress(bad, b)) << bad;
  }
}

}  // namespace
}  // namespace qm
