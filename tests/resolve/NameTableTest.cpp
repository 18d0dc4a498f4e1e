#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Resources.h"
#include "resolve/NameTable.h"
#include "resolve/ResolveTestSupport.h"
#include "resolve/SessionListing.h"

namespace qm {
namespace {

using namespace std::chrono_literals;
using Session = ServerTables::Session;

std::string Listings(const std::vector<Session>& sessions) {
  using Remote = SessionListing::Remote;
  return SessionListing::Format(sessions, Remote::Names, "SERVER") + "\f\n" +
         SessionListing::Format(sessions, Remote::Addresses, "SERVER");
}

// The tool stands in as a function that prints the listings of sessions,
// or fails; the reverse lookup names every address.
class NameTableTest : public ::testing::Test {
 protected:
  NameTableTest() : table("/opt/tool/quillmoor98-nbtstat") {
    table.SetCommandRunner(
        [this](const std::vector<std::string>& arguments, std::string& output, std::stop_token) {
          std::lock_guard lock(mutex);
          calls.push_back(arguments);
          output = exitCode == 0 ? Listings(sessions) : "";
          return exitCode;
        });
    table.SetReverseLookup([this](const std::string& address, std::stop_token) {
      std::lock_guard lock(mutex);
      asked.push_back(address);
      return "host-of-" + address;
    });
  }

  test::Watchdog watchdog{60s, "a name table test"};
  std::mutex mutex;
  std::vector<Session> sessions;
  int exitCode = 0;
  std::vector<std::vector<std::string>> calls;
  std::vector<std::string> asked;
  NameTable table;  // last: its capture thread uses the members above
};

TEST_F(NameTableTest, FindsTheAddressAndHostNameOfAWholeName) {
  sessions = {{"PC1", "a", 0, "192.168.0.7"}, {"ACCOUNTING-PC", "b", 0, "10.0.0.2"}};
  const AddressResult r = table.LookupAddress("PC1");
  EXPECT_EQ(r.Address, "192.168.0.7");
  EXPECT_EQ(r.HostName, "host-of-192.168.0.7");
  EXPECT_EQ(table.LookupAddress(" ACCOUNTING-PC ").Address, "10.0.0.2");
  // One run of the tool lists both, without a shell.
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"/opt/tool/quillmoor98-nbtstat", "-s", "-S"}));
  EXPECT_EQ(table.LookupAddress("pc1").Address, kNotKnown);  // letter case counts
}

TEST_F(NameTableTest, NameThatIsPartOfAnotherNeverTakesItsAddress) {
  // PC1 has left; PC10 and XPC1 stay.
  sessions = {{"PC10", "a", 0, "10.0.0.10"}, {"XPC1", "b", 0, "10.0.0.11"}};
  const AddressResult r = table.LookupAddress("PC1");
  EXPECT_EQ(r.Address, kNotKnown);
  EXPECT_EQ(r.HostName, kNotKnown);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(table.LookupAddress("PC10").Address, "10.0.0.10");
}

TEST_F(NameTableTest, WordsOfTheListingsFixedTextAreNoNames) {
  sessions = {{"PC1", "a", 0, "10.0.0.1"}};
  for (const char* name : {"C", "e", "In", "20", "<20>", "Connected", "Connected     In", "Local",
                           "Remote Host", "SERVER", "NetBIOS Connection Table", "-----", "?"}) {
    const AddressResult r = table.LookupAddress(name);
    EXPECT_EQ(r.Address, kNotKnown) << name;
    EXPECT_EQ(r.HostName, kNotKnown) << name;
  }
  EXPECT_TRUE(asked.empty());
  sessions.clear();  // "No Connections"
  EXPECT_EQ(table.LookupAddress("Connections").Address, kNotKnown);
}

TEST_F(NameTableTest, IPv6AddressesAreFoundWhole) {
  const std::string full = "fd12:3456:789a:bcde:f012:3456:789a:bcde";
  ASSERT_EQ(full.size(), 39u);
  sessions = {{"V6", "a", 0, full}, {"LINK", "b", 0, "fe80::a00:27ff:fe4e:66a1%eth0"}};
  EXPECT_EQ(table.LookupAddress("V6").Address, full);
  const AddressResult r = table.LookupAddress("LINK");
  EXPECT_EQ(r.Address, "fe80::a00:27ff:fe4e:66a1%eth0");
  EXPECT_EQ(r.HostName, "host-of-fe80::a00:27ff:fe4e:66a1%eth0");
}

TEST_F(NameTableTest, FailedOrUnpairedCaptureGivesNotKnownAndTheNextOneServes) {
  sessions = {{"PC1", "a", 0, "10.0.0.1"}};
  exitCode = 1;
  EXPECT_EQ(table.LookupAddress("PC1").Address, kNotKnown);
  exitCode = 0;
  EXPECT_EQ(table.LookupAddress("PC1").Address, "10.0.0.1");

  ListingCapture::Table pairs;
  const std::string one = SessionListing::Format(sessions, SessionListing::Remote::Addresses, "S");
  sessions.push_back({"PC2", "b", 0, "10.0.0.2"});
  const std::string two = SessionListing::Format(sessions, SessionListing::Remote::Names, "S");
  EXPECT_FALSE(NameTable::ParseListings(two, one, pairs));  // another reading
  ASSERT_TRUE(NameTable::ParseListings(two, two, pairs));   // names are no addresses
  EXPECT_EQ(pairs, (ListingCapture::Table{{"PC1", ""}, {"PC2", ""}}));
  std::string_view names, addresses;
  const std::string joined = two + one, split = two + "\f\n" + one;
  EXPECT_FALSE(NameTable::SplitListings(joined, names, addresses));
  ASSERT_TRUE(NameTable::SplitListings(split, names, addresses));
  EXPECT_EQ(names, two);
  EXPECT_EQ(addresses, one);
}

TEST_F(NameTableTest, TextThatIsNoAddressIsNotKnown) {
  ListingCapture::Table pairs;
  const std::string lead = "    SERVER         <20>  Connected     In   ";
  ASSERT_TRUE(NameTable::ParseListings(lead + "PC1            <20>\r\n" + lead + "PC2 <03>\n",
                                       lead + "10.0.0.300\r\n" + lead + " 10.0.0.2 \n", pairs));
  EXPECT_EQ(pairs, (ListingCapture::Table{{"PC1", ""}, {"PC2", "10.0.0.2"}}));
  for (const char* bad : {"Connected", "10.0.0", "fe80::1%", "fe80::1%a/b", "::1 x", ""}) {
    EXPECT_FALSE(NameTable::IsAddress(bad)) << bad;
  }
}

TEST_F(NameTableTest, ACrowdSharesAHandfulOfCaptures) {
  for (int i = 0; i < 200; ++i) {
    sessions.push_back({"PC" + std::to_string(i), "u", 0, "10.0.0." + std::to_string(i % 250)});
  }
  // The first capture lasts until every lookup has asked.
  std::atomic<bool> everyoneAsked{false};
  table.SetCommandRunner(
      [&](const std::vector<std::string>&, std::string& output, std::stop_token) {
        while (!everyoneAsked) std::this_thread::sleep_for(1ms);
        output = Listings(sessions);
        return 0;
      });
  std::vector<std::thread> threads;
  std::vector<AddressResult> results(sessions.size());
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = table.LookupAddress(sessions[i].client); });
  }
  while (table.LookupsWaiting() < static_cast<int>(sessions.size())) {
    std::this_thread::sleep_for(1ms);
  }
  everyoneAsked = true;
  for (auto& t : threads) t.join();
  // A capture may begin before the others asked (it gathers a crowd for a
  // moment only); the next one serves all of them.
  EXPECT_GE(table.CapturesStarted(), 1u);
  EXPECT_LE(table.CapturesStarted(), 2u);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].Address, sessions[i].address);
  }
}

// A tool that runs until the test lets it end, or until it is cancelled.
class HeldCaptureTest : public NameTableTest {
 protected:
  HeldCaptureTest() {
    table.SetCommandRunner(
        [this](const std::vector<std::string>&, std::string& output, std::stop_token cancel) {
          std::unique_lock lock(mutex);
          const int run = ++runs;
          // Like the tool, it reads the sessions as it starts.
          const std::string listings = Listings(sessions);
          changed.notify_all();
          const bool cancelled = !changed.wait(lock, cancel, [&] { return released >= run; });
          if (cancelled) {
            ++cancels;
            changed.notify_all();
            return NameTable::kCancelled;
          }
          output = listings;
          return 0;
        });
  }
  void WaitFor(const std::function<bool()>& condition) {
    std::unique_lock lock(mutex);
    changed.wait(lock, condition);
  }
  void Release() {
    std::lock_guard lock(mutex);
    ++released;
    changed.notify_all();
  }

  std::condition_variable_any changed;
  int runs = 0, released = 0, cancels = 0;
};

TEST_F(HeldCaptureTest, OnlyACaptureBegunAfterTheLookupAskedServesIt) {
  sessions = {{"EARLY", "a", 0, "10.0.0.1"}};
  AddressResult early, late;
  std::thread first([&] { early = table.LookupAddress("EARLY"); });
  WaitFor([&] { return runs == 1; });
  // LATE arrives after the running capture read the sessions, and asks
  // while it runs.
  {
    std::lock_guard lock(mutex);
    sessions.push_back({"LATE", "b", 0, "10.0.0.2"});
  }
  std::thread second([&] { late = table.LookupAddress("LATE"); });
  std::this_thread::sleep_for(50ms);
  Release();
  WaitFor([&] { return runs == 2; });
  Release();
  first.join();
  second.join();
  EXPECT_EQ(early.Address, "10.0.0.1");
  EXPECT_EQ(late.Address, "10.0.0.2");
}

TEST_F(HeldCaptureTest, StopDuringACaptureEndsTheLookupAndTheTool) {
  sessions = {{"PC1", "a", 0, "10.0.0.1"}};
  std::stop_source stop;
  AddressResult r;
  std::thread lookup([&] { r = table.LookupAddress("PC1", stop.get_token()); });
  WaitFor([&] { return runs == 1; });
  stop.request_stop();
  lookup.join();
  EXPECT_EQ(r.Address, kNotKnown);
  // Nobody waits for it any more: the tool is ended.
  WaitFor([&] { return cancels == 1; });

  // A lookup told to stop before it asks starts nothing.
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_EQ(table.LookupAddress("PC1", stopped.get_token()).Address, kNotKnown);
  EXPECT_EQ(table.CapturesStarted(), 1u);
}

TEST_F(NameTableTest, StopDuringAReverseQueryThatNeverAnswersKeepsTheAddress) {
  sessions = {{"PC1", "a", 0, "10.0.0.1"}};
  std::atomic<bool> querying{false};
  table.SetReverseLookup([&](const std::string&, std::stop_token stop) {
    querying = true;
    std::mutex m;
    std::condition_variable_any never;
    std::unique_lock lock(m);
    never.wait(lock, stop, [] { return false; });
    return std::string(kNotKnown);
  });
  std::stop_source stop;
  AddressResult r;
  std::thread lookup([&] { r = table.LookupAddress("PC1", stop.get_token()); });
  while (!querying) std::this_thread::sleep_for(1ms);
  stop.request_stop();
  lookup.join();
  EXPECT_EQ(r.Address, "10.0.0.1");
  EXPECT_EQ(r.HostName, kNotKnown);
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
  std::array<std::uint8_t, 4> b{};
  EXPECT_TRUE(NameTable::ParseAddress("10.0.255.1", b));
  EXPECT_EQ(b, (std::array<std::uint8_t, 4>{10, 0, 255, 1}));
  for (const char* bad : {"10.0.0", "10.0.0.1.2", "10.0.0.256", "10..0.1", "10.0.0.", " 10.0.0.1",
                          "10.0.0.1 x", "-1.0.0.1", "Not known", ""}) {
    EXPECT_FALSE(NameTable::ParseAddress(bad, b)) << bad;
  }
}

}  // namespace
}  // namespace qm
