// While the state file cannot be trusted the window says so: the bar's line and the alert at
// launch, with the file's path and why, in the interface language.
#include "quiltdeck/panels/StateNotice.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <filesystem>
#include <memory>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/panels/PanelTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"

namespace quiltdeck {
namespace {

class StateNoticeTest : public testing::PanelTest {
protected:
    ~StateNoticeTest() override { Lang::setCurrent(Lang::en); }
    std::string file() const { return (folder / "state.json").string(); }

    testing::TempFolder folder;
};

TEST_F(StateNoticeTest, SaysWhyTheFileIsLeftAlone) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<Store>()> make;
        std::optional<std::string> reason;
        // A file that waits for its copy: saves fail with the copy's cause and are tried again.
        bool retried = false;
        const char* title = "Changes are not being saved";
    };
    const auto withoutCopy = [&](const char* bytes) {
        testing::writeFile(file(), bytes);
        failDurableWritesWith(ENOSPC);
        auto store = std::make_unique<Store>(folder.path());
        failDurableWritesWith(0);
        return store;
    };
    std::unique_ptr<Store> holder;
    const Case cases[] = {
        {"missing", [&] { return std::make_unique<Store>(folder.path()); }, std::nullopt},
        {"good",
         [&] {
             testing::writeFile(file(), R"({"language":"de"})");
             return std::make_unique<Store>(folder.path());
         },
         std::nullopt},
        {"not a file",
         [&] {
             std::filesystem::create_directory(file());
             return std::make_unique<Store>(folder.path());
         },
         file() + " cannot be read (not a regular file)."},
        {"in use",
         [&] {
             holder = std::make_unique<Store>(folder.path());
             return std::make_unique<Store>(folder.path());
         },
         "Another Quiltdeck is using " + folder.path().string() + "."},
        {"records left out, no copy", [&] { return withoutCopy(R"({"closed":[null]})"); },
         file() + " holds entries that could not be read, and no copy of the file as it was could be made (the disk is full).",
         true},
        {"undecodable, no copy", [&] { return withoutCopy("[]"); },
         file() + " is damaged and could not be set aside (the disk is full).", true,
         "Your tiles and settings could not be loaded"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(file());
        holder.reset();
        const auto store = c.make();
        EXPECT_EQ(StateNotice::reason(*store), c.reason);
        EXPECT_EQ(StateNotice::line(*store).has_value(), c.reason.has_value());
        // What a quit would lose: the whole run where nothing is saved, the last changes while
        // saves fail.
        std::optional<std::string> lost;
        if (store->readOnly()) lost = t("quit_info_read_only", {*c.reason});
        if (c.retried) lost = t("quit_info_unsaved", {"the disk is full"});
        EXPECT_EQ(StateNotice::lostAtQuit(*store), lost);
        const auto alert = StateNotice::alert(*store);
        ASSERT_EQ(alert.has_value(), c.reason.has_value());
        if (!c.reason) continue;
        EXPECT_EQ(alert->messageText, c.title);
        EXPECT_EQ(alert->informativeText.find(*c.reason), 0u);
        EXPECT_NE(alert->informativeText.find(t(c.retried ? "state_copy_pending_info" : "state_ro_info")), std::string::npos);
        if (!c.retried) {
            EXPECT_EQ(*StateNotice::line(*store), "Changes are not saved: " + *c.reason);
            continue;
        }
        // The bar says it briefly, cause first, the whole line under the pointer.
        const std::string line = "Changes are not being saved: " + *c.reason + " Quiltdeck keeps trying.";
        EXPECT_EQ(StateNotice::line(*store), line);
        BarView bar(platform::gfx::Rect{0, 0, 1720, BarView::height});
        bar.setStateStore(*store);
        EXPECT_EQ(bar.notice().text(), "Not saved: disk full");
        EXPECT_EQ(bar.notice().toolTip(), line);
        // The copy made on a later try: saves work again, and the copy is named.
        loop_.advance(Store::saveRetry);
        EXPECT_TRUE(store->flush());
        loop_.runPending();
        EXPECT_EQ(bar.notice().text(), "Saved again");
        EXPECT_EQ(bar.notice().toolTip(), "Changes are saved again.");
        loop_.advance(BarView::savedAgainShown);
        EXPECT_NE(StateNotice::line(*store)->find(folder.path().string() + "/state.json.broken-"), std::string::npos);
    }
}

// A state.json that cannot be decoded is set aside and the run starts afresh, saving as usual:
// the window names the copy, which holds the old bytes, in the language the file still names.
// One nested past what the decoder walks is such a file.
TEST_F(StateNoticeTest, NamesTheCopyOfADamagedFile) {
    const std::string truncated = R"({"language":"de","openTiles":[{"title":"Build","cwd":"/p)";
    const std::string nested = R"({"language":"de","openTiles":)" + std::string(1'000'000, '[') + std::string(1'000'000, ']') + "}";
    for (const std::string& bytes : {truncated, nested}) {
        testing::writeFile(file(), bytes);
        const Store store(folder.path());
        ASSERT_TRUE(store.brokenCopy());
        EXPECT_TRUE(testing::readFile(*store.brokenCopy()) == bytes);
        EXPECT_FALSE(store.readOnly());
        EXPECT_EQ(store.language(), "de");
        EXPECT_TRUE(store.openTiles().empty());
        const std::string reason = file() + " is damaged and was set aside as " + store.brokenCopy()->string() + ".";
        EXPECT_EQ(StateNotice::line(store), "Started afresh: " + reason);
        const auto alert = StateNotice::alert(store);
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->messageText, "Your tiles and settings could not be loaded");
        EXPECT_EQ(alert->informativeText, reason + "\n\n" + t("state_reset_info"));
    }
}

// A file that loaded with records it could not read left out: the bar names the copy of it for
// the run, and no alert holds the launch up.
TEST_F(StateNoticeTest, NamesTheCopyOfAFileWithRecordsLeftOut) {
    testing::writeFile(file(), R"({"closed":[{"title":"a"},null,{"title":"b"}],"openTiles":[7,{"title":"c"}]})");
    const Store store(folder.path());
    ASSERT_TRUE(store.setAside().copy);
    const std::string reason = file() + " holds entries that could not be read; the file as it was is kept as " +
                               store.setAside().copy->string() + ".";
    EXPECT_EQ(StateNotice::reason(store), reason);
    EXPECT_EQ(StateNotice::line(store), "Some entries were left out: " + reason);
    EXPECT_FALSE(StateNotice::alert(store));
    BarView bar(platform::gfx::Rect{0, 0, 1720, BarView::height});
    bar.setStateStore(store);
    EXPECT_EQ(bar.notice().text(), "Some entries left out");
    EXPECT_EQ(bar.notice().toolTip(), *StateNotice::line(store));
}

// A save through a link that is refused, or cannot reach where the link leads: the words name the
// link and where it ends (worked out as realpath does), and the quit question says what the next
// launch opens with.
TEST_F(StateNoticeTest, NamesTheLinkAndWhereItEndsWhenASaveIsRefused) {
    struct Case {
        const char* name;
        // Makes what the link ends at (as the test's own user); the link's text and its end.
        std::function<std::pair<std::string, std::filesystem::path>(const std::filesystem::path& root)> make;
        // The link is made once the state was read (pointed there while the program runs).
        bool afterLoad;
        std::string cause, brief;
        const char* quit;  // what the next launch does, in the quit question's words
        bool asNobody = false;
    };
    const Case cases[] = {
        {"a FIFO, by a path that goes up and back",
         [](const auto& root) {
             ::mkfifo((root / "pipe").c_str(), 0600);
             return std::pair{std::string("../state/../pipe"), root / "pipe"};
         },
         true, "not a regular file", "not a regular file", "quit_info_unsaved_lost"},
        // The file of another user, in a folder open to all: left as it is, theirs.
        {"another user's file",
         [](const auto& root) {
             std::filesystem::create_directory(root / "shared");
             ::chmod((root / "shared").c_str(), 0777);
             testing::writeFile(root / "shared" / "qd.json", "{}");
             return std::pair{std::string("../shared/qd.json"), root / "shared" / "qd.json"};
         },
         false, "belongs to root and is left as it is", "another user's file", "quit_info_unsaved", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asNobody && ::geteuid() != 0) continue;  // needs another user to be
        testing::TempFolder root;
        ::chmod(root.path().c_str(), 0755);
        const auto state = root / "state";
        std::filesystem::create_directories(state);
        ::chmod(state.c_str(), 0777);
        const auto [text, end] = c.make(root.path());
        std::filesystem::create_symlink(c.afterLoad ? "nowhere.json" : text, state / "state.json");
        std::optional<testing::FilesAsNobody> nobody;
        if (c.asNobody) nobody.emplace();
        Store store(state);
        if (c.afterLoad) {
            std::filesystem::remove(state / "state.json");
            std::filesystem::create_symlink(text, state / "state.json");
        }
        store.setLanguage("fr");
        EXPECT_FALSE(store.flush());
        const std::string link = (state / "state.json").string() + " \u2192 " + end.string();
        EXPECT_EQ(StateNotice::saveLine(store), "Changes are not being saved: " + link + ": " + c.cause + ". Quiltdeck keeps trying.");
        EXPECT_EQ(StateNotice::briefSaveLine(store), "Not saved: " + c.brief);
        EXPECT_EQ(StateNotice::lostAtQuit(store), t(c.quit, {link + ": " + c.cause}));
    }
}

// A state folder that is a link to a folder not made yet: made there, and the state and the log go
// there; where it cannot be made, the words name the link and where it leads.
TEST_F(StateNoticeTest, AStateFolderLinkedAheadOfItsFolder) {
    testing::TempFolder root;
    const auto link = root / "qd";
    std::filesystem::create_symlink("dotfiles/sync/qd", link);
    {
        Store store(link);
        store.setLanguage("fr");
        EXPECT_TRUE(store.flush());
        EXPECT_EQ(Store::decode(testing::readFile(root / "dotfiles" / "sync" / "qd" / "state.json"))->language, "fr");
        struct stat info {};
        for (const auto& made : {root / "dotfiles", root / "dotfiles" / "sync", root / "dotfiles" / "sync" / "qd"}) {
            EXPECT_EQ(::stat(made.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, 0700u) << made;
        }
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    if (::geteuid() != 0) return;  // the rest needs a folder its user cannot write
    std::filesystem::remove(link);
    std::filesystem::create_directory(root / "locked");
    ::chmod(root.path().c_str(), 0755);
    std::filesystem::create_symlink("locked/qd", link);
    testing::FilesAsNobody nobody;
    Store store(link);
    store.setLanguage("fr");
    EXPECT_FALSE(store.flush());
    EXPECT_FALSE(std::filesystem::exists(root / "locked" / "qd"));
    const std::string cause = link.string() + " \u2192 " + (root / "locked" / "qd").string() + ": no permission";
    EXPECT_EQ(StateNotice::saveLine(store), "Changes are not being saved: " + cause + ". Quiltdeck keeps trying.");
    EXPECT_EQ(StateNotice::lostAtQuit(store), t("quit_info_unsaved_lost", {cause}));
}

// The program's files left unreadable by an earlier run as root in the user's home (before such a
// run gave them to the user): the launch says whose they are and the command that gives them back,
// and leaves them as they are. The state folder root's: all of it; only the file: the file.
TEST_F(StateNoticeTest, SaysWhoseFilesItCannotReadAndHowToTakeThemBack) {
    if (::geteuid() != 0) return;  // needs another user to be
    for (const bool folderToo : {true, false}) {
        SCOPED_TRACE(folderToo ? "the folder root's" : "the file root's");
        testing::TempFolder home;
        ::chown(home.path().c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody);
        ::chmod(home.path().c_str(), 0755);
        const auto dir = home / ".quiltdeck";
        std::filesystem::create_directory(dir);
        ::chmod(dir.c_str(), 0700);
        testing::writeFile(dir / "state.json", R"({"language":"de"})");
        ::chmod((dir / "state.json").c_str(), 0600);
        if (!folderToo) ::chown(dir.c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody);
        {
            testing::FilesAsNobody asUser;
            const Store store(dir);
            EXPECT_TRUE(store.readOnly());
            const std::string command =
                folderToo ? "sudo chown -R nobody: '" + dir.string() + "'" : "sudo chown nobody: '" + (dir / "state.json").string() + "'";
            EXPECT_EQ(StateNotice::reason(store), (dir / "state.json").string() +
                                                      " belongs to root, and this user (nobody) cannot read it. To take it back, run: " +
                                                      command);
        }
        EXPECT_EQ(testing::readFile(dir / "state.json"), R"({"language":"de"})");
    }
    // The state folder a link into a dotfiles folder that is root's too, and closed: where the link
    // leads is named, and whose the folder on the way is, and the command gives back all of it
    // (giving back the state folder alone would leave the way closed).
    testing::TempFolder home;
    ::chown(home.path().c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody);
    ::chmod(home.path().c_str(), 0755);
    testing::ScopedVariable homeVariable("HOME", home.path().string());
    std::filesystem::create_directories(home / "dotfiles" / "qd");
    testing::writeFile(home / "dotfiles" / "qd" / "state.json", R"({"language":"de"})");
    for (const char* closed : {"dotfiles", "dotfiles/qd"}) ::chmod((home / closed).c_str(), 0700);
    std::filesystem::create_directory_symlink("dotfiles/qd", home / ".quiltdeck");
    ::lchown((home / ".quiltdeck").c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody);
    {
        testing::FilesAsNobody asUser;
        const Store store(home / ".quiltdeck");
        EXPECT_TRUE(store.readOnly());
        EXPECT_EQ(StateNotice::reason(store),
                  "~/.quiltdeck \u2192 ~/dotfiles/qd cannot be read: ~/dotfiles on the way there belongs to root, and this user "
                  "(nobody) cannot look into it. To take it back, run: sudo chown -R nobody: '" +
                      (home / "dotfiles").string() + "'");
    }
}

// What is wrong is said of the file it is wrong with, in every language: state.json behind a linked
// folder that is a FIFO or a folder (named as state.json, not as the folder), a loop of links, a
// link whose end names a folder (said at launch, though nothing stands there), and a file a save
// kept aside.
TEST_F(StateNoticeTest, NamesWhatIsWrongWithWhichFile) {
    testing::TempFolder root;
    const auto elsewhere = root / "dotfiles" / "qd";
    std::filesystem::create_directories(elsewhere);
    const auto linkedFolder = root / "qd";
    std::filesystem::create_symlink("dotfiles/qd", linkedFolder);
    struct Case {
        const char* name;
        std::function<std::filesystem::path()> make;  // the state folder
        std::string english;                           // what the launch says, in English
        const char* cause;                             // the key of the cause it names
        bool alert = true;
    };
    const std::string linkedFile = (linkedFolder / "state.json").string() + " \u2192 " + (elsewhere / "state.json").string();
    const Case cases[] = {
        {"a FIFO behind a linked folder",
         [&] {
             ::mkfifo((elsewhere / "state.json").c_str(), 0600);
             return linkedFolder;
         },
         linkedFile + " cannot be read (not a regular file).", "state_ro_not_file"},
        {"a folder behind a linked folder",
         [&] {
             std::filesystem::create_directory(elsewhere / "state.json");
             return linkedFolder;
         },
         linkedFile + " cannot be read (not a regular file).", "state_ro_not_file"},
        {"a loop of links",
         [&] {
             std::filesystem::create_symlink("state.json", folder / "state.json");
             return folder.path();
         },
         file() + " cannot be read (its links lead round in a loop).", "state_link_loop"},
        {"a link naming a folder, to nothing",
         [&] {
             std::filesystem::create_symlink("../nowhere.json/", folder / "state.json");
             return folder.path();
         },
         "Changes are not being saved: " + file() + " \u2192 " + (folder.path().parent_path() / "nowhere.json").string() +
             "/: the link names a folder, not a file. Quiltdeck keeps trying.",
         "state_link_names_folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(elsewhere / "state.json");
        std::filesystem::remove_all(folder / "state.json");
        const auto dir = c.make();
        const Store store(dir);
        for (const Lang lang : Lang::allCases()) {
            Lang::setCurrent(lang);
            SCOPED_TRACE(std::string(lang.rawValue()));
            const auto alert = StateNotice::alert(store);
            ASSERT_TRUE(alert);
            const std::string said = store.readOnly() ? *StateNotice::reason(store) : alert->informativeText;
            if (lang == Lang::en) {
                EXPECT_EQ(said, c.english);
            }
            EXPECT_NE(said.find("state.json"), std::string::npos);
            EXPECT_NE(said.find(t(c.cause)), std::string::npos);
            EXPECT_EQ(said.find("%@"), std::string::npos);
            // The quit question says the same cause.
            const auto lost = StateNotice::lostAtQuit(store);
            ASSERT_TRUE(lost);
            EXPECT_NE(lost->find(t(c.cause)), std::string::npos);
            EXPECT_EQ(lost->find(std::strerror(ELOOP)), std::string::npos);
        }
        Lang::setCurrent(Lang::en);
    }
}

// A link mended while the program runs, to a state it did not read: the bar names that file and
// where what it held is kept, briefly where the bar is short; no alert holds the work up.
TEST_F(StateNoticeTest, NamesAFileASaveKeptAside) {
    testing::TempFolder root;
    std::filesystem::create_directories(root / "real");
    testing::writeFile(root / "real" / "a.json", R"({"language":"de"})");
    std::filesystem::create_symlink("../real/typo.json", folder / "state.json");
    Store store(folder.path());
    store.setLanguage("fr");
    EXPECT_TRUE(store.flush());
    // Mended: it leads to the state it should have led to from the start.
    std::filesystem::remove(folder / "state.json");
    std::filesystem::create_symlink(root / "real" / "a.json", folder / "state.json");
    store.setLanguage("it");
    EXPECT_TRUE(store.flush());
    loop_.runPending();
    ASSERT_TRUE(store.keptAside());
    const std::string reason = (root / "real" / "a.json").string() +
                               " held a state this run had not read (a link now leads there, or it changed since); what it held is kept as " +
                               store.keptAside()->copy.string() + ".";
    EXPECT_EQ(StateNotice::line(store), "Another state file kept: " + reason);
    EXPECT_EQ(StateNotice::briefLine(store), "Another state file kept");
    EXPECT_FALSE(StateNotice::alert(store));
    for (const Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        const auto line = StateNotice::line(store);
        ASSERT_TRUE(line);
        EXPECT_NE(line->find(store.keptAside()->copy.string()), std::string::npos) << lang.rawValue();
        EXPECT_EQ(line->find("%@"), std::string::npos) << lang.rawValue();
    }
}

// At launch, a link that ends at what is no file: the alert names where it ends.
TEST_F(StateNoticeTest, TheAlertNamesWhereTheLinkEnds) {
    std::filesystem::create_directory(folder / "elsewhere");
    std::filesystem::create_symlink("elsewhere/../elsewhere", file());
    const Store store(folder.path());
    ASSERT_TRUE(store.readOnly());
    EXPECT_EQ(StateNotice::reason(store),
              file() + " \u2192 " + (folder / "elsewhere").string() + " cannot be read (not a regular file).");
}

TEST_F(StateNoticeTest, SpeaksEveryLanguage) {
    std::filesystem::create_directory(file());
    const Store store(folder.path());
    testing::TempFolder other;
    testing::writeFile(other / "state.json", "{");
    const Store setAside(other.path());
    testing::TempFolder third;
    testing::writeFile(third / "state.json", R"({"walls":[null]})");
    const Store leftOut(third.path());
    testing::TempFolder fourth;
    testing::writeFile(fourth / "state.json", R"({"walls":[null]})");
    failDurableWritesWith(ENOSPC);
    const Store leftOutWithoutCopy(fourth.path());
    failDurableWritesWith(0);
    for (const Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        SCOPED_TRACE(std::string(lang.rawValue()));
        const auto line = StateNotice::line(store);
        ASSERT_TRUE(line);
        EXPECT_NE(line->find(file()), std::string::npos);
        EXPECT_NE(line->find(t("state_ro_not_file")), std::string::npos);
        EXPECT_EQ(line->find("%@"), std::string::npos);
        const auto reset = StateNotice::line(setAside);
        ASSERT_TRUE(reset);
        EXPECT_NE(reset->find(setAside.brokenCopy()->string()), std::string::npos);
        EXPECT_EQ(reset->find("%@"), std::string::npos);
        EXPECT_NE(StateNotice::alert(setAside)->messageText, StateNotice::alert(store)->messageText);
        const auto partial = StateNotice::line(leftOut);
        ASSERT_TRUE(partial);
        EXPECT_NE(partial->find(leftOut.setAside().copy->string()), std::string::npos);
        EXPECT_EQ(partial->find("%@"), std::string::npos);
        // Not set aside: the file stays, and only its copy could not be made.
        const auto uncopied = StateNotice::reason(leftOutWithoutCopy);
        ASSERT_TRUE(uncopied);
        EXPECT_NE(uncopied->find(t("state_disk_full")), std::string::npos);
        EXPECT_EQ(uncopied->find("%@"), std::string::npos);
        EXPECT_EQ(*uncopied, t("state_records_no_copy", {fourth.path().string() + "/state.json", t("state_disk_full")}));
    }
}

// The bar shows the line between the check box and the counts for as long as it holds, cut where
// the bar is short, and not at all where it has no room.
TEST_F(StateNoticeTest, TheBarShowsTheLineWhileChangesAreNotSaved) {
    std::filesystem::create_directory(file());
    const Store broken(folder.path());
    testing::TempFolder other;
    const Store good(other.path());
    BarView bar(platform::gfx::Rect{0, 0, 1720, BarView::height});
    // The process's store saves: nothing to tell.
    EXPECT_TRUE(bar.notice().isHidden());
    bar.setStateStore(broken);
    ASSERT_FALSE(bar.notice().isHidden());
    EXPECT_EQ(bar.notice().text(), *StateNotice::line(broken));
    EXPECT_GE(bar.notice().frame().x, bar.aiToggle().frame().maxX() + 16);
    EXPECT_LE(bar.notice().frame().maxX(), bar.counts().frame().x - 16);
    // Another language, and the line follows.
    Lang::setCurrent(Lang::de);
    post(Theme::didChange);
    EXPECT_EQ(bar.notice().text(), *StateNotice::line(broken));
    Lang::setCurrent(Lang::en);
    post(Theme::didChange);
    // A narrow bar gives up its other items before the notice.
    bar.setFrameSize({900, BarView::height});
    ASSERT_FALSE(bar.notice().isHidden());
    EXPECT_GT(bar.compaction(), 0);
    EXPECT_GE(bar.notice().frame().width, BarView::minimumNoticeWidth);
    EXPECT_GE(bar.notice().frame().x, bar.aiToggle().frame().maxX() + 16);
    EXPECT_LE(bar.notice().frame().maxX(), bar.counts().frame().x - 16);
    // A bar too short for it even so.
    bar.setFrameSize({600, BarView::height});
    EXPECT_TRUE(bar.notice().isHidden());
    bar.setFrameSize({1720, BarView::height});
    EXPECT_FALSE(bar.notice().isHidden());
    bar.setStateStore(good);
    EXPECT_TRUE(bar.notice().isHidden());
    EXPECT_EQ(bar.notice().text(), "");
}

// A full disk: the bar says once, in the interface language, that changes are not being saved,
// while the store tries again on its own; the try that works says so for a while, and nothing the
// user changed meanwhile is lost.
TEST_F(StateNoticeTest, TheBarSaysWhileSavesFailAndWhenTheyWorkAgain) {
    struct DiskFull {
        DiskFull() { failDurableWritesWith(ENOSPC); }
        ~DiskFull() { failDurableWritesWith(0); }
    };
    Store store(folder.path());
    BarView bar(platform::gfx::Rect{0, 0, 1720, BarView::height});
    bar.setStateStore(store);
    store.setLanguage("en");
    ASSERT_TRUE(store.flush());
    const std::string before = testing::readFile(file());
    {
        DiskFull full;
        store.setAiTitles(false);
        EXPECT_FALSE(store.flush());
        loop_.runPending();
        EXPECT_EQ(store.saveError(), ENOSPC);
        ASSERT_FALSE(bar.notice().isHidden());
        // The cause first and brief, the whole line under the pointer.
        EXPECT_EQ(bar.notice().text(), "Not saved: disk full");
        EXPECT_EQ(bar.notice().toolTip(), "Changes are not being saved: the disk is full. Quiltdeck keeps trying.");
        for (const Lang lang : Lang::allCases()) {
            Lang::setCurrent(lang);
            post(Theme::didChange);
            EXPECT_NE(bar.notice().text().find(t("state_disk_full_brief")), std::string::npos) << lang.rawValue();
            EXPECT_NE(bar.notice().toolTip().find(t("state_disk_full")), std::string::npos) << lang.rawValue();
            EXPECT_EQ(bar.notice().text().find("%@"), std::string::npos) << lang.rawValue();
        }
        Lang::setCurrent(Lang::en);
        post(Theme::didChange);
        // Tried again with no change from the user; still full.
        loop_.advance(Store::saveRetry);
        EXPECT_FALSE(store.flush());
        loop_.runPending();
        EXPECT_EQ(testing::readFile(file()), before);
        EXPECT_EQ(bar.notice().text(), *StateNotice::briefSaveLine(store));
        EXPECT_EQ(bar.notice().toolTip(), *StateNotice::saveLine(store));
        // Each cause in its words, a new one as soon as the next try meets it; an uncommon one
        // briefly said, the system's words whole in the tool tip.
        const struct {
            int error;
            const char* brief;
            std::string cause;
        } causes[] = {
            {EDQUOT, "Not saved: disk full", "the disk is full"},
            {EACCES, "Not saved: no permission", "no permission"},
            {EPERM, "Not saved: no permission", "no permission"},
            {EROFS, "Not saved: read-only disk", "read-only disk"},
            {EIO, "Not saved: disk error", "disk error"},
            {EFBIG, "Not saved: file too large", "file too large"},
            // A save refused over something that is no regular file.
            {EINVAL, "Not saved: not a regular file", "not a regular file"},
            {EISDIR, "Not saved: not a regular file", "not a regular file"},
            {ENAMETOOLONG, "Changes not saved", std::strerror(ENAMETOOLONG)},
            {ENOSPC, "Not saved: disk full", "the disk is full"},
        };
        for (const auto& c : causes) {
            SCOPED_TRACE(c.brief);
            failDurableWritesWith(c.error);
            loop_.advance(Store::saveRetry);
            EXPECT_FALSE(store.flush());
            loop_.runPending();
            ASSERT_EQ(store.saveError(), c.error);
            EXPECT_EQ(bar.notice().text(), c.brief);
            EXPECT_EQ(bar.notice().toolTip(), "Changes are not being saved: " + c.cause + ". Quiltdeck keeps trying.");
        }
    }
    loop_.advance(Store::saveRetry);
    EXPECT_TRUE(store.flush());
    loop_.runPending();
    EXPECT_EQ(store.saveError(), 0);
    EXPECT_EQ(bar.notice().text(), "Saved again");
    EXPECT_EQ(bar.notice().toolTip(), "Changes are saved again.");
    EXPECT_FALSE(Store::decode(testing::readFile(file()))->aiTitles);
    loop_.advance(BarView::savedAgainShown);
    EXPECT_TRUE(bar.notice().isHidden());
    EXPECT_EQ(loop_.pendingTimerCount(), 0u);
}

}  // namespace
}  // namespace quiltdeck
