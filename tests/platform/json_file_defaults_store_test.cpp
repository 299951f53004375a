#include "platform/linux/json_file_defaults_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <thread>

#include "platform/linux/defaults_value_coding.h"
#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

runtime::WallTime fixedNow() {
  return runtime::wallTimeFromSeconds(1767603600);  // 2026-01-05T09:00:00Z
}

class JsonFileDefaultsStoreTest : public ::testing::Test {
 protected:
  std::shared_ptr<JsonFileDefaultsStore> makeStore() {
    return std::make_shared<JsonFileDefaultsStore>(folder_ / "defaults", fixedNow);
  }
  void writeSuiteFile(const std::string& name, const std::string& text) {
    fs::create_directories(folder_ / "defaults");
    std::ofstream(folder_ / "defaults" / (name + ".json"), std::ios::binary) << text;
  }

  testing::TemporaryFolder folder_;
};

TEST_F(JsonFileDefaultsStoreTest, EveryValueTypeSurvivesARestart) {
  Value::Dictionary nested{{"$type", Value("looks like a tag")}, {"n", Value(1)}};
  const std::map<std::string, Value> values{
      {"flag", Value(true)},
      {"count", Value(std::int64_t{-7})},
      {"big", Value(std::numeric_limits<std::int64_t>::max())},
      {"ratio", Value(2.0)},
      {"nan", Value(std::numeric_limits<double>::infinity())},
      {"text", Value("héllo \"quoted\"")},
      {"data", Value(Value::Data{0, 255, 10})},
      {"date", Value(runtime::wallTimeFromSeconds(1767603600.25))},
      {"list", Value(Value::Array{Value(1), Value("two")})},
      {"nested", Value(nested)},
  };
  {
    auto store = makeStore();
    auto suite = store->suite("com.pemberquist.corvane");
    for (const auto& [key, value] : values) suite->set(key, value);
  }
  auto store = makeStore();
  auto suite = store->suite("com.pemberquist.corvane");
  for (const auto& [key, value] : values) {
    ASSERT_TRUE(suite->object(key).has_value()) << key;
    EXPECT_EQ(*suite->object(key), value) << key;
  }
  EXPECT_EQ(suite->object("ratio")->type(), Value::Type::real);  // 2.0 stays a real
  EXPECT_EQ(fs::status(folder_ / "defaults" / "com.pemberquist.corvane.json").permissions() &
                fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(store->recoveryNotes().empty());
}

TEST_F(JsonFileDefaultsStoreTest, SettingTheStoredValueAgainWritesNothing) {
  auto store = makeStore();
  auto suite = store->suite("com.pemberquist.corvane");
  suite->set("count", Value(3));
  suite->set("when", Value(fixedNow()));
  store->flush();
  const fs::path file = folder_ / "defaults" / "com.pemberquist.corvane.json";
  std::ofstream(file, std::ios::binary) << "untouched";
  suite->set("count", Value(3));
  suite->set("when", Value(fixedNow()));
  store->flush();
  std::ifstream unchanged(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(unchanged), {}), "untouched");
  suite->set("count", Value(4));  // a real change writes the whole suite again
  store->flush();
  EXPECT_EQ(makeStore()->suite("com.pemberquist.corvane")->integerValue("count"), 4);
  EXPECT_TRUE(makeStore()->suite("com.pemberquist.corvane")->dateValue("when").has_value());
}

TEST_F(JsonFileDefaultsStoreTest, SameSuiteObjectIsSharedAndRemovalWorks) {
  auto store = makeStore();
  auto a = store->suite("app");
  auto b = store->suite("app");
  a->set("k", Value(1));
  EXPECT_EQ(b->integerValue("k"), 1);
  a->remove("k");
  EXPECT_FALSE(b->object("k").has_value());
  EXPECT_EQ(store->suite("../escape"), nullptr);
  EXPECT_EQ(store->suite(""), nullptr);
  EXPECT_EQ(store->suite(".hidden"), nullptr);
  EXPECT_NE(store->standard(), nullptr);
}

TEST_F(JsonFileDefaultsStoreTest, PersistentDomainsExistOnlyOnceWrittenAndCanBeRemoved) {
  auto store = makeStore();
  EXPECT_FALSE(store->persistentDomain("com.pemberquist.halvermoor").has_value());
  writeSuiteFile("com.pemberquist.halvermoor",
                 R"({"protectionOptions":{"$type":"data","value":"e30="}})");
  auto fresh = makeStore();
  auto domain = fresh->persistentDomain("com.pemberquist.halvermoor");
  ASSERT_TRUE(domain.has_value());
  EXPECT_EQ(*domain->at("protectionOptions").asData(), (Value::Data{'{', '}'}));
  fresh->removePersistentDomain("com.pemberquist.halvermoor");
  EXPECT_FALSE(fresh->persistentDomain("com.pemberquist.halvermoor").has_value());
  EXPECT_FALSE(fs::exists(folder_ / "defaults" / "com.pemberquist.halvermoor.json"));
}

TEST_F(JsonFileDefaultsStoreTest, CorruptFileIsMovedAsideAndOtherSuitesAreUntouched) {
  writeSuiteFile("broken", "{\"half\": tru");
  writeSuiteFile("healthy", R"({"keep":true})");
  auto store = makeStore();
  std::vector<DefaultsRecoveryNote> observed;
  auto broken = store->suite("broken");
  EXPECT_TRUE(broken->dictionaryRepresentation().empty());
  store->setRecoveryObserver([&](const DefaultsRecoveryNote& note) { observed.push_back(note); });
  ASSERT_EQ(observed.size(), 1u);  // delivered when the observer arrives
  EXPECT_EQ(observed[0].eventName(), "defaults_suite_recovered");
  EXPECT_EQ(observed[0].suite, "broken");
  const fs::path kept = folder_ / "defaults" / "broken.unreadable-20260105T090000Z.json";
  EXPECT_EQ(observed[0].keptAs, kept);
  EXPECT_EQ(observed[0].eventFields().at("keptAs"), kept.filename().string());
  std::ifstream keptFile(kept);
  std::string keptText((std::istreambuf_iterator<char>(keptFile)), {});
  EXPECT_EQ(keptText, "{\"half\": tru");  // kept byte for byte

  broken->set("new", Value(1));  // the suite goes on and saves again
  store->flush();
  EXPECT_EQ(makeStore()->suite("broken")->integerValue("new"), 1);
  EXPECT_TRUE(store->suite("healthy")->boolValue("keep"));

  // A second corruption on the same second keeps both copies.
  writeSuiteFile("other", "\x00\xff binary");
  writeSuiteFile("other2", "[1,2,3]");
  auto third = makeStore();
  third->suite("other");
  third->suite("other2");
  EXPECT_EQ(third->recoveryNotes().size(), 2u);
}

TEST_F(JsonFileDefaultsStoreTest, UndecodableEntriesKeepTheRestAndTheOriginal) {
  writeSuiteFile("mixed", R"({"good":5,"bad":{"$type":"data","value":"***"},"nul":null})");
  auto store = makeStore();
  auto suite = store->suite("mixed");
  EXPECT_EQ(suite->integerValue("good"), 5);
  EXPECT_FALSE(suite->object("bad").has_value());
  ASSERT_EQ(store->recoveryNotes().size(), 1u);
  EXPECT_NE(store->recoveryNotes()[0].reason.find("2 entries"), std::string::npos);
  EXPECT_TRUE(fs::exists(folder_ / "defaults" / "mixed.unreadable-20260105T090000Z.json"));
}

TEST_F(JsonFileDefaultsStoreTest, UnreadableFileThatCannotBeMovedIsNeverOverwritten) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads and moves any file";
  writeSuiteFile("locked", R"({"precious":1})");
  fs::permissions(folder_ / "defaults" / "locked.json", fs::perms::none);
  fs::permissions(folder_ / "defaults", fs::perms::owner_read | fs::perms::owner_exec);
  auto store = makeStore();
  auto suite = store->suite("locked");
  suite->set("change", Value(2));  // kept in memory for this run
  EXPECT_EQ(suite->integerValue("change"), 2);
  ASSERT_GE(store->recoveryNotes().size(), 1u);
  EXPECT_EQ(store->recoveryNotes()[0].kind, DefaultsRecoveryNote::Kind::unreadableFileLeftInPlace);
  fs::permissions(folder_ / "defaults", fs::perms::owner_all);
  fs::permissions(folder_ / "defaults" / "locked.json", fs::perms::owner_read);
  std::ifstream file(folder_ / "defaults" / "locked.json");
  std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_EQ(text, R"({"precious":1})");
}

TEST_F(JsonFileDefaultsStoreTest, SpecialFileInPlaceOfASuiteDoesNotHang) {
  fs::create_directories(folder_ / "defaults");
  ASSERT_EQ(::mkfifo((folder_ / "defaults" / "fifo.json").c_str(), 0600), 0);
  auto store = makeStore();
  auto suite = store->suite("fifo");  // reading a FIFO would block forever
  EXPECT_TRUE(suite->dictionaryRepresentation().empty());
  ASSERT_EQ(store->recoveryNotes().size(), 1u);
  EXPECT_NE(store->recoveryNotes()[0].reason.find("not a regular file"), std::string::npos);
}

// A process killed while saving leaves its temporary beside the suite file: the next store made
// on the folder removes those, and nothing else.
TEST_F(JsonFileDefaultsStoreTest, TemporariesOfAKilledSaveAreRemovedAtStart) {
  writeSuiteFile("corvane.standard", R"({"kept":1})");
  const auto folder = folder_ / "defaults";
  const std::vector<std::string> leftovers = {".corvane.standard.json.tmp-Ab12Cd",
                                              ".app.json.tmp-zz99YY"};
  const std::vector<std::string> others = {".notes.txt.tmp-abcdef",   // not a suite's
                                           "app.json.tmp-abcdef",     // not a temporary's name
                                           ".app.json.tmp-abc",       // nor this
                                           ".app.json.tmp-ab.cd",     // nor this
                                           ".corvane.standard.json",  // nor this
                                           "corvane.other.json"};
  for (const auto& name : leftovers) std::ofstream(folder / name) << R"({"half":)";
  for (const auto& name : others) std::ofstream(folder / name) << "{}";
  fs::create_symlink(folder / "corvane.other.json", folder / ".linked.json.tmp-abcdef");
  fs::create_directory(folder / ".folder.json.tmp-abcdef");

  auto store = makeStore();
  for (const auto& name : leftovers) EXPECT_FALSE(fs::exists(folder / name)) << name;
  for (const auto& name : others) EXPECT_TRUE(fs::exists(folder / name)) << name;
  EXPECT_TRUE(fs::is_symlink(folder / ".linked.json.tmp-abcdef"));
  EXPECT_TRUE(fs::is_directory(folder / ".folder.json.tmp-abcdef"));
  EXPECT_EQ(store->standard()->integerValue("kept"), 1);
  // A store made where there is no folder yet finds nothing to remove.
  EXPECT_NO_THROW(JsonFileDefaultsStore(folder_ / "absent"));
}

TEST_F(JsonFileDefaultsStoreTest, SaveFailureIsNotedNotThrown) {
  std::ofstream(folder_ / "defaults");  // a file where the folder should be
  auto store = makeStore();
  auto suite = store->suite("app");
  suite->set("k", Value(1));
  EXPECT_EQ(suite->integerValue("k"), 1);
  store->flush();
  ASSERT_EQ(store->recoveryNotes().size(), 1u);
  EXPECT_EQ(store->recoveryNotes()[0].eventName(), "defaults_suite_save_failed");
}

TEST_F(JsonFileDefaultsStoreTest, TwoWritersOfOneSuiteKeepEachOthersKeys) {
  // Two stores stand for two processes: each opened the suite before the other wrote.
  auto first = makeStore()->suite("shared");
  auto second = makeStore()->suite("shared");
  first->set("fromFirst", Value(1));
  second->set("fromSecond", Value(2));
  EXPECT_EQ(second->integerValue("fromFirst"), 1);  // merged in on the write
  first->remove("fromFirst");
  EXPECT_EQ(makeStore()->suite("shared")->dictionaryRepresentation(),
            (Value::Dictionary{{"fromSecond", Value(2)}}));

  // At the same time, from two threads with stores of their own.
  auto writer = [this](const std::string& prefix) {
    auto suite = makeStore()->suite("busy");
    for (int i = 0; i < 40; ++i) suite->set(prefix + std::to_string(i), Value(i));
  };
  std::thread a(writer, "a"), b(writer, "b");
  a.join();
  b.join();
  EXPECT_EQ(makeStore()->suite("busy")->dictionaryRepresentation().size(), 80u);
}

TEST_F(JsonFileDefaultsStoreTest, ALinkAtASuitePathIsMovedAsideNotReplacedOrFollowed) {
  fs::create_directories(folder_ / "defaults");
  const fs::path elsewhere = folder_ / "elsewhere.json";
  std::ofstream(elsewhere) << R"({"outside":true})";
  const fs::path suitePath = folder_ / "defaults" / "linked.json";
  fs::create_symlink(elsewhere, suitePath);
  auto store = makeStore();
  auto suite = store->suite("linked");
  EXPECT_FALSE(suite->object("outside").has_value());
  suite->set("k", Value(1));
  // A link that appears after loading is set aside on the next write too.
  auto later = store->suite("later");
  fs::create_symlink(elsewhere, folder_ / "defaults" / "later.json");
  later->set("k", Value(1));
  store->flush();

  const auto notes = store->recoveryNotes();
  ASSERT_EQ(notes.size(), 2u);
  for (const auto& note : notes) {
    EXPECT_EQ(note.kind, DefaultsRecoveryNote::Kind::unreadableFileMovedAside);
    EXPECT_EQ(note.reason, "The file is a symbolic link.");
    ASSERT_TRUE(note.keptAs.has_value());
    EXPECT_TRUE(fs::is_symlink(*note.keptAs));
  }
  EXPECT_FALSE(fs::is_symlink(suitePath));
  EXPECT_EQ(makeStore()->suite("later")->integerValue("k"), 1);
  std::ifstream kept(elsewhere);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), R"({"outside":true})");
}

TEST_F(JsonFileDefaultsStoreTest, TextThatIsNotUtf8KeepsItsBytesOrIsNoted) {
  const std::string latin1 = "caf\xe9 \xff\xfe";
  {
    auto store = makeStore();
    store->suite("bytes")->set("name", Value(Value::Array{Value(latin1), Value("plain")}));
    store->flush();
    EXPECT_TRUE(store->recoveryNotes().empty());
    store->suite("keys")->set("k\xff", Value(1));
    store->flush();
    ASSERT_EQ(store->recoveryNotes().size(), 1u);
    EXPECT_NE(store->recoveryNotes()[0].reason.find("not UTF-8"), std::string::npos);
  }
  EXPECT_EQ(*makeStore()->suite("bytes")->object("name"),
            Value(Value::Array{Value(latin1), Value("plain")}));
}

// Changes are saved on the store's queue, never on the caller's thread, and what piles up before
// the save runs is written at once; nothing asked for is lost when the store goes.
TEST_F(JsonFileDefaultsStoreTest, SavesRunOnTheQueueTogetherAndNoneIsLost) {
  runtime::VirtualRunLoop loop;
  const auto queue = loop.makeQueue("defaults");
  const fs::path file = folder_ / "defaults" / "app.json";
  {
    auto store = std::make_shared<JsonFileDefaultsStore>(folder_ / "defaults", fixedNow, queue);
    auto suite = store->suite("app");
    for (int i = 0; i < 100; ++i) suite->set("key" + std::to_string(i), Value(i));
    suite->remove("key0");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(suite->integerValue("key99"), 99);  // read back from memory meanwhile
    EXPECT_EQ(loop.pendingJobCount(), 1u);        // one save for all of them
    loop.runUntilIdle();
    EXPECT_EQ(makeStore()->suite("app")->dictionaryRepresentation().size(), 99u);

    suite->set("late", Value(true));
    EXPECT_FALSE(makeStore()->suite("app")->object("late"));
  }  // the store waits for the save it asked for
  EXPECT_TRUE(makeStore()->suite("app")->boolValue("late"));
}

// Settings are small: a suite file far larger than any settings is neither read nor written.
TEST_F(JsonFileDefaultsStoreTest, OversizedSuitesAreNeitherReadNorWritten) {
  const std::string padding(5 * 1024 * 1024, 'x');
  writeSuiteFile("huge", R"({"pad":")" + padding + R"("})");
  auto store = makeStore();
  auto huge = store->suite("huge");
  EXPECT_FALSE(huge->object("pad"));
  ASSERT_EQ(store->recoveryNotes().size(), 1u);
  EXPECT_EQ(store->recoveryNotes()[0].kind, DefaultsRecoveryNote::Kind::unreadableFileMovedAside);

  auto grown = store->suite("grown");
  grown->set("small", Value(1));
  store->flush();
  grown->set("pad", Value(padding));
  store->flush();
  EXPECT_EQ(grown->stringValue("pad"), padding);  // kept for this run
  const auto notes = store->recoveryNotes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[1].kind, DefaultsRecoveryNote::Kind::saveFailed);
  EXPECT_EQ(notes[1].reason,
            "The settings have grown larger than the 4 MB a settings file may hold.");
  EXPECT_EQ(makeStore()->suite("grown")->dictionaryRepresentation(),
            (Value::Dictionary{{"small", Value(1)}}));
  // Once they fit again, the next save says that saving works again, once.
  grown->remove("pad");
  store->flush();
  grown->set("small", Value(2));
  store->flush();
  const auto later = store->recoveryNotes();
  ASSERT_EQ(later.size(), 3u);
  EXPECT_EQ(later[2].kind, DefaultsRecoveryNote::Kind::savedAgain);
  EXPECT_EQ(later[2].eventName(), "defaults_suite_saved_again");
  EXPECT_EQ(later[2].eventFields(), (std::map<std::string, std::string>{{"suite", "grown"}}));
  EXPECT_EQ(makeStore()->suite("grown")->dictionaryRepresentation(),
            (Value::Dictionary{{"small", Value(2)}}));
}

TEST(DefaultsValueCodingTest, TagsAreUnambiguous) {
  EXPECT_EQ(encodeDefaultsValue(Value(Value::Data{'a'})),
            nlohmann::json::parse(R"({"$type":"data","value":"YQ=="})"));
  EXPECT_FALSE(decodeDefaultsValue(nlohmann::json::parse(R"({"$type":"nope","value":1})")));
  EXPECT_FALSE(
      decodeDefaultsValue(nlohmann::json::parse(R"({"$type":"data","value":"YQ==","x":1})")));
  EXPECT_FALSE(decodeDefaultsValue(nlohmann::json(nullptr)));
  EXPECT_FALSE(decodeDefaultsValue(nlohmann::json::parse(R"({"$type":"date","value":1e300})")));
  EXPECT_EQ(decodeDefaultsValue(nlohmann::json(18446744073709551615ull))->type(),
            Value::Type::real);
  EXPECT_TRUE(std::isnan(*decodeDefaultsValue(encodeDefaultsValue(Value(std::nan(""))))->asReal()));
}

}  // namespace
}  // namespace corvane::platform
