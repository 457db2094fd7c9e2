// The registry file: round trip, atomic replacement, corrupt files and write failures.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "corvane/platform/Registry.h"
#include "winreg.h"

namespace fs = std::filesystem;
using corvane::platform::ClassesRoot;
using corvane::platform::ERegistryCorrupt;
using corvane::platform::ERegistryError;
using corvane::platform::ERegistryWriteError;

namespace {

class RegistryFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("corvane-reg-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        file_ = dir_ / "corvane" / "registry.reg";
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Contents() const {
        std::ifstream in(file_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_, file_;
};

TEST_F(RegistryFile, ValuesRoundTripThroughTheFile) {
    ClassesRoot reg(file_);
    reg.SetValue("Corvane.Simulator.2", "", "Corvane \"S7-200\" simulator");
    reg.SetValue("Corvane.Simulator.2\\Clsid", "", "{11223344-5566-7788-99AA-BBCCDDEEFF00}");
    reg.SetValue("Corvane.Simulator.2\\Opc\\Vendor", "", "back\\slash\nline");
    reg.SetValue("CLSID\\{X}", "Named", "value");
    ClassesRoot again(file_);
    EXPECT_EQ(again.QueryValue("Corvane.Simulator.2"), "Corvane \"S7-200\" simulator");
    EXPECT_EQ(again.QueryValue("corvane.simulator.2\\CLSID"),
              "{11223344-5566-7788-99AA-BBCCDDEEFF00}");
    EXPECT_EQ(again.QueryValue("Corvane.Simulator.2\\Opc\\Vendor"), "back\\slash\nline");
    EXPECT_EQ(again.QueryValue("CLSID\\{X}", "named"), "value");
    EXPECT_EQ(again.QueryValue("CLSID\\{X}"), std::nullopt);
    EXPECT_TRUE(again.KeyExists("Corvane.Simulator.2\\Opc"));  // parents are created
    EXPECT_EQ(again.SubKeys("Corvane.Simulator.2"), (std::vector<std::string>{"Clsid", "Opc"}));
    EXPECT_NE(Contents().find("[Corvane.Simulator.2\\Clsid]"), std::string::npos);
}

TEST_F(RegistryFile, KeysWithSubkeysAreNotDeleted) {
    ClassesRoot reg(file_);
    reg.SetValue("P\\Opc\\Vendor", "", "v");
    EXPECT_THROW(reg.DeleteKey("P\\Opc"), ERegistryError);
    EXPECT_TRUE(reg.DeleteKey("P\\Opc\\Vendor"));
    EXPECT_TRUE(reg.DeleteKey("P\\Opc"));
    EXPECT_FALSE(reg.DeleteKey("P\\Opc"));
    EXPECT_TRUE(reg.KeyExists("P"));
    EXPECT_FALSE(reg.DeleteValue("P", "missing"));
}

TEST_F(RegistryFile, ReplacementIsAtomicAndLeavesNoTemporaryFile) {
    ClassesRoot reg(file_);
    reg.SetValue("A", "", "1");
    // A reader that opened the file before the change keeps reading the whole old file:
    // the new contents arrive as a different file renamed over it, never in place.
    std::ifstream before(file_);
    reg.SetValue("B", "", "2");
    std::stringstream old;
    old << before.rdbuf();
    EXPECT_NE(old.str().find("[A]"), std::string::npos);
    EXPECT_EQ(old.str().find("[B]"), std::string::npos);
    EXPECT_NE(Contents().find("[B]"), std::string::npos);
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(file_.parent_path()))
        files.insert(e.path().filename().string());
    // The lock file stays; removing it would let two writers lock different files.
    EXPECT_EQ(files, (std::set<std::string>{"registry.reg", "registry.reg.lock"}));
    // A stale temporary file of a crashed writer does not disturb readers or writers.
    std::ofstream(file_.string() + ".tmp.999999") << "[half";
    reg.SetValue("C", "", "3");
    EXPECT_EQ(ClassesRoot(file_).QueryValue("A"), "1");
}

TEST_F(RegistryFile, CorruptFileIsReportedAndLeftUntouched) {
    fs::create_directories(file_.parent_path());
    const std::string text = "[Good]\n@=\"kept\"\nthis line is not registry text\n";
    std::ofstream(file_) << text;
    ClassesRoot reg(file_);
    try {
        reg.QueryValue("Good");
        FAIL() << "corrupt file accepted";
    } catch (const ERegistryCorrupt& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
    EXPECT_THROW(reg.SetValue("New", "", "x"), ERegistryCorrupt);
    EXPECT_EQ(Contents(), text);  // nothing the user had is lost
}

TEST_F(RegistryFile, FailedWriteRaisesTheSystemMessage) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "corvane") << "a file where the folder should be";
    ClassesRoot reg(file_);
    try {
        reg.SetValue("A", "", "1");
        FAIL() << "write into a file path succeeded";
    } catch (const ERegistryWriteError& e) {
        EXPECT_STREQ(e.what(), "Error creating system registry entry");
    }
}

TEST_F(RegistryFile, MissingFileIsAnEmptyRegistry) {
    ClassesRoot reg(file_);
    EXPECT_FALSE(reg.KeyExists("Anything"));
    EXPECT_EQ(reg.QueryValue("Anything"), std::nullopt);
    EXPECT_TRUE(reg.SubKeys("Anything").empty());
    EXPECT_FALSE(fs::exists(file_));
}

// A child process that has ended and been reaped: its pid names no live process.
pid_t DeadPid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

mode_t ModeOf(const fs::path& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(RegistryFile, TemporariesOfDeadWritersAreRemovedByTheNextWrite) {
    ClassesRoot reg(file_);
    reg.SetValue("A", "", "1");
    const std::string stale = file_.string() + ".tmp." + std::to_string(DeadPid());
    const std::string live = file_.string() + ".tmp." + std::to_string(getppid());
    const std::string unrelated = file_.string() + ".tmp.notapid";
    for (const std::string& name : {stale, live, unrelated}) std::ofstream(name) << "[half";
    reg.SetValue("B", "", "2");
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live)) << "a live process may still be writing it";
    EXPECT_TRUE(fs::exists(unrelated));
    EXPECT_EQ(reg.QueryValue("A"), "1");
}

TEST_F(RegistryFile, ReadOnlyFileIsNotReplaced) {
    ClassesRoot reg(file_);
    reg.SetValue("A", "", "1");
    const std::string before = Contents();
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    try {
        reg.SetValue("B", "", "2");
        FAIL() << "read-only registry file replaced";
    } catch (const ERegistryWriteError& e) {
        EXPECT_STREQ(e.what(), "Error creating system registry entry");
    }
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(ModeOf(file_), 0444u);
}

TEST_F(RegistryFile, ReplacementKeepsThePermissionBits) {
    ClassesRoot reg(file_);
    reg.SetValue("A", "", "1");
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
    reg.SetValue("B", "", "2");
    EXPECT_EQ(ModeOf(file_), 0600u);
}

TEST_F(RegistryFile, SymbolicLinkIsWrittenThroughToItsTarget) {
    const fs::path target = dir_ / "real" / "registry.reg";
    fs::create_directories(target.parent_path());
    fs::create_directories(file_.parent_path());
    fs::create_symlink("../real/registry.reg", file_);  // relative, and dangling at first
    ClassesRoot reg(file_);
    reg.SetValue("A", "", "1");
    reg.SetValue("B", "", "2");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(file_)));
    EXPECT_EQ(ClassesRoot(target).QueryValue("A"), "1");
    EXPECT_EQ(ClassesRoot(target).QueryValue("B"), "2");
}

TEST_F(RegistryFile, ABatchWritesTheFileOnceAtCommitAndReadsSeeItMeanwhile) {
    ClassesRoot reg(file_);
    reg.SetValue("Before", "", "1");
    const std::string before = Contents();
    struct stat was {};
    ASSERT_EQ(::stat(file_.c_str(), &was), 0);
    {
        corvane::platform::RegistryBatch batch(file_);
        ClassesRoot other(file_);  // a second handle on the same file joins the batch
        for (int i = 0; i < 16; ++i)
            (i % 2 ? reg : other).SetValue("Key" + std::to_string(i), "", std::to_string(i));
        EXPECT_TRUE(other.DeleteKey("Before"));
        EXPECT_EQ(reg.QueryValue("Key15"), "15");
        EXPECT_FALSE(reg.KeyExists("Before"));
        struct stat during {};
        ASSERT_EQ(::stat(file_.c_str(), &during), 0);
        EXPECT_EQ(during.st_ino, was.st_ino) << "replaced before the commit";
        EXPECT_EQ(Contents(), before);
        batch.Commit();
    }
    struct stat after {};
    ASSERT_EQ(::stat(file_.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, was.st_ino);
    ClassesRoot fresh(file_);
    EXPECT_EQ(fresh.QueryValue("Key0"), "0");
    EXPECT_EQ(fresh.QueryValue("Key15"), "15");
    EXPECT_FALSE(fresh.KeyExists("Before"));
}

TEST_F(RegistryFile, ABatchEndedWithoutCommitLeavesTheFileAsItWas) {
    ClassesRoot reg(file_);
    reg.SetValue("Kept", "", "1");
    const std::string before = Contents();
    {
        corvane::platform::RegistryBatch batch(file_);
        reg.SetValue("Dropped", "", "1");
        EXPECT_THROW(corvane::platform::RegistryBatch second(file_), ERegistryError);
    }
    EXPECT_EQ(Contents(), before);
    EXPECT_FALSE(reg.KeyExists("Dropped"));
    reg.SetValue("After", "", "1");  // straight to the file again
    EXPECT_EQ(ClassesRoot(file_).QueryValue("After"), "1");
}

TEST_F(RegistryFile, AnotherProcessWritesAfterTheBatchAndLosesNothing) {
    ClassesRoot reg(file_);
    reg.SetValue("Start", "", "1");
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    // Forked before the batch takes the lock: a child would otherwise share the lock.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char c = 0;
        ::close(go[1]);
        // Writes while the parent's batch is open: waits for its lock, then rereads the
        // file the parent wrote.
        const bool ok = ::read(go[0], &c, 1) == 1;
        try {
            ClassesRoot(file_).SetValue("Child", "", "1");
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(ok ? 0 : 1);
    }
    ::close(go[0]);
    corvane::platform::RegistryBatch batch(file_);
    reg.SetValue("Parent", "", "1");
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    ::close(go[1]);
    batch.Commit();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ClassesRoot fresh(file_);
    EXPECT_EQ(fresh.QueryValue("Parent"), "1");
    EXPECT_EQ(fresh.QueryValue("Child"), "1");
}

TEST_F(RegistryFile, WritersInSeveralProcessesLoseNoUpdate) {
    constexpr int kWriters = 3, kKeys = 60;
    ClassesRoot(file_).CreateKey("Start");
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                ClassesRoot reg(file_);
                for (int k = 0; k < kKeys; ++k)
                    reg.SetValue("W" + std::to_string(w) + "\\K" + std::to_string(k), "", "v");
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ClassesRoot reg(file_);
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(reg.SubKeys("W" + std::to_string(w)).size(), static_cast<size_t>(kKeys))
            << "writer " << w;
}

// Paths that are no registry file: refused at once with a message that says why.
struct NotAFileCase {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* says;
};

const NotAFileCase kNotAFile[] = {
    {"Directory", [](const fs::path& p) { fs::create_directories(p); }, "is a directory"},
    {"Fifo", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
     "is not a regular file"},
    {"Device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
     "is not a regular file"},
    {"HugeFile",
     [](const fs::path& p) {
         std::ofstream(p) << "";
         fs::resize_file(p, corvane::platform::kMaxRegistryFileBytes + 1);
     },
     "registry file limit of 4 MiB"},
};

class RegistryNotAFile : public RegistryFile, public ::testing::WithParamInterface<NotAFileCase> {};

TEST_P(RegistryNotAFile, IsRefusedForReadingAndWriting) {
    fs::create_directories(file_.parent_path());
    GetParam().make(file_);
    ClassesRoot reg(file_);
    for (const auto& use : std::vector<std::function<void()>>{
             [&] { reg.QueryValue("A"); }, [&] { reg.SetValue("A", "", "1"); }}) {
        try {
            use();
            FAIL() << "accepted";
        } catch (const ERegistryError& e) {
            EXPECT_NE(std::string(e.what()).find(GetParam().says), std::string::npos) << e.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RegistryNotAFile, ::testing::ValuesIn(kNotAFile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryPath, EnvironmentChoosesTheFile) {
    const char* old = std::getenv("CORVANE_REGISTRY");
    const std::string saved = old ? old : "";
    setenv("CORVANE_REGISTRY", "/tmp/x/reg.reg", 1);
    EXPECT_EQ(corvane::platform::DefaultRegistryPath(), fs::path("/tmp/x/reg.reg"));
    unsetenv("CORVANE_REGISTRY");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(corvane::platform::DefaultRegistryPath(), fs::path("/tmp/cfg/corvane/registry.reg"));
    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (old) setenv("CORVANE_REGISTRY", saved.c_str(), 1);
}

}  // namespace

namespace {

class RegApi : public RegistryFile {
  protected:
    void SetUp() override {
        RegistryFile::SetUp();
        setenv("CORVANE_REGISTRY", file_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("CORVANE_REGISTRY");
        RegistryFile::TearDown();
    }
};

TEST_F(RegApi, CreateSetQueryEnumerateDelete) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Corvane.Simulator\\Opc", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const char vendor[] = "Corvane";
    EXPECT_EQ(RegSetValueExA(key, "Vendor", 0, REG_SZ, reinterpret_cast<const BYTE*>(vendor),
                             sizeof vendor),
              ERROR_SUCCESS);
    char buffer[4];
    DWORD size = sizeof buffer, type = 0;
    EXPECT_EQ(
        RegQueryValueExA(key, "Vendor", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    char big[16];
    size = sizeof big;
    EXPECT_EQ(RegQueryValueExA(key, "vendor", nullptr, &type, reinterpret_cast<BYTE*>(big), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(big, "Corvane");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_SZ, nullptr, 0), ERROR_INVALID_HANDLE);

    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "corvane.simulator", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    char name[32];
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Opc");
    length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(parent, 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Corvane.Simulator"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "Opc"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Corvane.Simulator"), ERROR_SUCCESS);
    HKEY none = reinterpret_cast<HKEY>(std::uintptr_t{0xdeadbeef});
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Corvane.Simulator", 0, KEY_READ, &none),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
}

TEST_F(RegApi, CorruptFileAndFailedWriteBecomeErrorCodes) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_) << "garbage\n";
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "A", 0, KEY_READ, &key), ERROR_BADDB);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "corvane") << "a file where the folder should be";
    EXPECT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_CANTWRITE);
}

}  // namespace
