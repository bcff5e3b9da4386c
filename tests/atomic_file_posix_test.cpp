#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <grp.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "engine/report_file_text.h"

namespace {

const uid_t kNobody = 65534;

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteAllTo(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    chmod(path.c_str(), mode);
}

// A report large enough to fill a pipe's buffer many times over.
CString LargeReport() {
    std::string bytes;
    for (int line = 0; bytes.size() < (1u << 20); ++line) {
        bytes += "\xB5\xDA" + std::to_string(line) + " line of the report\r\n";
    }
    return CString(bytes);
}

struct stat StatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(0, lstat(path.c_str(), &info)) << path;
    return info;
}

// Runs body in a child process, so it may drop privileges or enter a mount namespace
// without touching the test program. Returns the child's exit status (or -1).
int RunInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Each test gets a folder of its own under /tmp, open to other users (the tests that
// drop privileges need to reach it).
class CSaveTest : public testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/tollvane_save_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(folder));
        m_folder = folder;
        chmod(folder, 0755);
    }
    void TearDown() override {
        chmod(m_folder.c_str(), 0755);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    std::string In(const std::string& name) const { return m_folder + "/" + name; }
    size_t EntryCount() const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder)) {
            (void)entry;
            ++count;
        }
        return count;
    }

    std::string m_folder;
};

}  // namespace

TEST_F(CSaveTest, AFifoWithAReaderGetsTheWholeReportAndStaysAFifo) {
    const std::string fifo = In("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    // Read and write ends both: the reader is there before the save opens the FIFO.
    const int reader = open(fifo.c_str(), O_RDWR);
    ASSERT_GE(reader, 0);
    const CString report = LargeReport();
    std::string received;
    std::thread drain([&] {
        char buffer[65536];
        while (received.size() < report.Bytes().size()) {
            const ssize_t got = read(reader, buffer, sizeof buffer);
            if (got <= 0) break;
            received.append(buffer, static_cast<size_t>(got));
        }
    });
    CString error;
    EXPECT_TRUE(SaveReportFile(fifo, report, &error)) << error.Bytes();
    drain.join();
    close(reader);
    EXPECT_TRUE(received == report.Bytes());
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST_F(CSaveTest, AFifoWithoutAReaderFailsAtOnceAndSaysWhy) {
    const std::string fifo = In("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    CString error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SaveReportFile(fifo, "report", &error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(-1, error.Find("没有程序在读取")) << error.Bytes();
    EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST_F(CSaveTest, AFifoReaderThatStopsTakingDataEndsTheSaveWithAFailure) {
    const std::string fifo = In("fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    const int silent = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(silent, 0);
    CString error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SaveReportFile(fifo, LargeReport(), &error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    EXPECT_NE(-1, error.Find("写入超时")) << error.Bytes();
    close(silent);

    // A reader that goes away mid-report: a failure, and the program lives on (no
    // SIGPIPE reaches it).
    const int leaving = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(leaving, 0);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        close(leaving);
    });
    EXPECT_FALSE(SaveReportFile(fifo, LargeReport(), &error));
    closer.join();
    EXPECT_NE(-1, error.Find("读取方已关闭")) << error.Bytes();
}

// As root the devices are private nodes of the same kind in the test's folder: a save
// that wrongly replaced them must never take the system's own /dev/null with it.
TEST_F(CSaveTest, CharacterDevicesAreWrittenInPlaceAndAFullOneFails) {
    struct CDeviceCase {
        const char* name;
        unsigned minor;
        bool saved;
        const char* errorPart;
    };
    const CDeviceCase cases[] = {
        {"null", 3, true, ""},
        {"full", 7, false, "磁盘空间不足"},
    };
    for (const CDeviceCase& c : cases) {
        std::string path = std::string("/dev/") + c.name;
        if (geteuid() == 0) {
            path = In(c.name);
            ASSERT_EQ(0, mknod(path.c_str(), S_IFCHR | 0666, makedev(1, c.minor))) << path;
        }
        const struct stat before = StatOf(path);
        CString error;
        EXPECT_EQ(c.saved, SaveReportFile(path, LargeReport(), &error)) << path << error.Bytes();
        EXPECT_NE(-1, error.Find(c.errorPart)) << path << error.Bytes();
        const struct stat after = StatOf(path);
        EXPECT_TRUE(S_ISCHR(after.st_mode)) << path;
        EXPECT_EQ(before.st_rdev, after.st_rdev) << path;
        EXPECT_EQ(before.st_ino, after.st_ino) << path;
    }
}

TEST_F(CSaveTest, DirectoriesAndSocketsAreRefusedAndLeftAlone) {
    const std::string folder = In("folder");
    ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
    const std::string socketPath = In("socket");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));

    struct CRefusedCase {
        std::string path;
        const char* kind;
        mode_t type;
    };
    const CRefusedCase cases[] = {{folder, "目录", S_IFDIR}, {socketPath, "套接字", S_IFSOCK}};
    for (const CRefusedCase& c : cases) {
        CString error;
        EXPECT_FALSE(SaveReportFile(c.path, "report", &error)) << c.path;
        EXPECT_NE(-1, error.Find(c.kind)) << error.Bytes();
        EXPECT_EQ(c.type, StatOf(c.path).st_mode & S_IFMT) << c.path;
    }
    close(listener);
    EXPECT_EQ(2u, EntryCount()) << "a temporary file was left behind";
}

TEST_F(CSaveTest, ALinkIsFollowedItsTargetWrittenAndTheLinkKept) {
    ASSERT_EQ(0, mkdir(In("reports").c_str(), 0755));
    struct CLinkCase {
        const char* link;
        std::string pointsAt;  // as stored in the link
        std::string target;    // the file that must get the report
        bool targetExists;
    };
    const CLinkCase cases[] = {
        {"relative", "reports/a.txt", In("reports/a.txt"), true},
        {"absolute", In("reports/b.txt"), In("reports/b.txt"), true},
        {"dangling", "reports/c.txt", In("reports/c.txt"), false},
        {"chained", "relative", In("reports/a.txt"), true},
    };
    for (const CLinkCase& c : cases) {
        if (c.targetExists) WriteAllTo(c.target, "an earlier, longer report\r\n", 0640);
        ASSERT_EQ(0, symlink(c.pointsAt.c_str(), In(c.link).c_str()));
    }
    for (const CLinkCase& c : cases) {
        const std::string report = std::string("report via ") + c.link + "\r\n";
        CString error;
        EXPECT_TRUE(SaveReportFile(In(c.link), CString(report), &error)) << c.link << error.Bytes();
        EXPECT_TRUE(S_ISLNK(StatOf(In(c.link)).st_mode)) << c.link;
        char stored[4096] = {};
        ASSERT_GT(readlink(In(c.link).c_str(), stored, sizeof stored - 1), 0);
        EXPECT_EQ(c.pointsAt, stored);
        EXPECT_EQ(report, ReadAll(c.target)) << c.link;
        if (c.targetExists) {
            EXPECT_EQ(0640u, StatOf(c.target).st_mode & 07777) << c.link;
        }
    }
}

TEST_F(CSaveTest, AnExistingFileKeepsItsModeAndANewOneFollowsTheUmask) {
    for (const mode_t mode : {0600, 0640, 0751, 0444}) {
        const std::string path = In("mode" + std::to_string(mode));
        WriteAllTo(path, "old", mode);
        CString error;
        EXPECT_TRUE(SaveReportFile(path, "new report", &error)) << error.Bytes();
        EXPECT_EQ("new report", ReadAll(path));
        EXPECT_EQ(mode, StatOf(path).st_mode & 07777) << std::oct << mode;
    }
    const mode_t saved = umask(027);
    CString error;
    EXPECT_TRUE(SaveReportFile(In("fresh.txt"), "", &error)) << error.Bytes();
    umask(saved);
    EXPECT_EQ(0640u, StatOf(In("fresh.txt")).st_mode & 07777);
    EXPECT_EQ(0, StatOf(In("fresh.txt")).st_size);
}

TEST_F(CSaveTest, AnExistingFileKeepsItsOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can save a file someone else owns";
    const std::string path = In("owned.txt");
    WriteAllTo(path, "old", 0600);
    ASSERT_EQ(0, chown(path.c_str(), kNobody, kNobody));
    CString error;
    EXPECT_TRUE(SaveReportFile(path, "new", &error)) << error.Bytes();
    EXPECT_EQ(kNobody, StatOf(path).st_uid);
    EXPECT_EQ(kNobody, StatOf(path).st_gid);
    EXPECT_EQ(0600u, StatOf(path).st_mode & 07777);
}

// The folder refuses new files to the saving user (as root: the folder stays root's
// and the save runs as nobody; otherwise the folder is made read-only), so the
// temporary file cannot be made. A file the user may write is then rewritten in place;
// one they may not is left alone.
TEST_F(CSaveTest, AFolderThatTakesNoNewFileFallsBackToWritingTheFileInPlace) {
    const bool root = geteuid() == 0;
    struct CFolderCase {
        const char* name;
        bool fileWritable;
    };
    const std::string earlier = "an earlier report, longer than the new one\r\n";
    for (const CFolderCase c : {CFolderCase{"writable.txt", true}, CFolderCase{"locked.txt", false}}) {
        const std::string path = In(c.name);
        WriteAllTo(path, earlier, c.fileWritable || root ? 0644 : 0444);
        if (root && c.fileWritable) {
            ASSERT_EQ(0, chown(path.c_str(), kNobody, kNobody));
        }
    }
    if (!root) {
        ASSERT_EQ(0, chmod(m_folder.c_str(), 0555));
    }
    for (const CFolderCase c : {CFolderCase{"writable.txt", true}, CFolderCase{"locked.txt", false}}) {
        const std::string path = In(c.name);
        const int status = RunInChild([&] {
            if (root && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) return 3;
            CString error;
            const bool saved = SaveReportFile(path, "new report\r\n", &error);
            std::fprintf(stderr, "%s\n", error.GetString());
            const bool namesCause = saved || error.Find("无法在目标文件夹中创建文件：拒绝访问") == 0;
            return (saved ? 0 : 1) + (namesCause ? 0 : 2);
        });
        EXPECT_EQ(c.fileWritable ? 0 : 1, status) << c.name;
        EXPECT_EQ(c.fileWritable ? "new report\r\n" : earlier, ReadAll(path)) << c.name;
        EXPECT_EQ(c.fileWritable || root ? 0644u : 0444u, StatOf(path).st_mode & 07777) << c.name;
    }
    EXPECT_EQ(2u, EntryCount()) << "a temporary file was left behind";
}

// A small file system of its own (root only, in a private mount namespace): a medium
// that fills up mid-save, and a file mounted over another, which cannot be renamed over.
TEST_F(CSaveTest, AFullMediumFailsTheSaveAndKeepsTheEarlierReport) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    const std::string small = In("small");
    ASSERT_EQ(0, mkdir(small.c_str(), 0755));
    const std::string report = small + "/report.txt";
    const std::string earlier = "the earlier report\r\n";
    const int status = RunInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tollvane", small.c_str(), "tmpfs", 0, "size=256k") != 0) {
            return 10;
        }
        WriteAllTo(report, earlier);
        CString error;
        if (SaveReportFile(report, LargeReport(), &error)) return 11;
        if (error.Find("写入文件失败：磁盘空间不足") != 0) return 12;
        if (ReadAll(report) != earlier) return 13;
        // Only the earlier report: the temporary file is gone again.
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(small)) count += entry.path() != "";
        return count == 1 ? 0 : 14;
    });
    EXPECT_EQ(0, status) << "10 mount, 11 saved, 12 message, 13 earlier report, 14 temporary file";
}

TEST_F(CSaveTest, AFileMountedOverIsWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to bind-mount a file";
    const std::string shown = In("shown.txt");
    const std::string backing = In("backing.txt");
    WriteAllTo(shown, "hidden by the mount");
    WriteAllTo(backing, "an earlier report, longer than the new one\r\n", 0600);
    const int status = RunInChild([&] {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(backing.c_str(), shown.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return 10;
        }
        CString error;
        if (!SaveReportFile(shown, "new report\r\n", &error)) return 11;
        return ReadAll(shown) == "new report\r\n" ? 0 : 12;
    });
    EXPECT_EQ(0, status) << "10 mount, 11 not saved, 12 contents";
    EXPECT_EQ("new report\r\n", ReadAll(backing));
    EXPECT_EQ(0600u, StatOf(backing).st_mode & 07777);
}

// A name so long that no temporary name fits beside it (the system's limit is 255
// bytes a name): the file is rewritten in place, root or not.
TEST_F(CSaveTest, AFileNoTemporaryFileFitsBesideIsRewrittenInPlace) {
    const std::string path = In(std::string(250, 'r') + ".txt");
    WriteAllTo(path, "an earlier report, longer than the new one\r\n", 0600);
    CString error;
    EXPECT_TRUE(SaveReportFile(path, "new report\r\n", &error)) << error.Bytes();
    EXPECT_EQ("new report\r\n", ReadAll(path));
    EXPECT_EQ(0600u, StatOf(path).st_mode & 07777);
    EXPECT_EQ(1u, EntryCount());

    // A new file of such a name is made directly; one longer than any name can be is not.
    EXPECT_TRUE(SaveReportFile(In(std::string(250, 'n') + ".txt"), "report", &error)) << error.Bytes();
    EXPECT_EQ("report", ReadAll(In(std::string(250, 'n') + ".txt")));
    EXPECT_FALSE(SaveReportFile(In(std::string(256, 'n')), "report", &error));
    EXPECT_NE(-1, error.Find("：文件名过长或无效")) << error.Bytes();
    EXPECT_EQ(2u, EntryCount());
}

namespace {

const int kRaceSaves = 1000;

// Another user's loop in a shared folder: the name turns, again and again, from their
// own world-writable file into a link to the victim's file and back. Never returns.
[[noreturn]] void SwapNameForever(const std::string& shared, const std::string& victim) {
    if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
        setresuid(kNobody, kNobody, kNobody) != 0) {
        _exit(3);
    }
    const std::string name = shared + "/report.txt";
    const std::string own = shared + "/own.tmp";
    const std::string link = shared + "/link.tmp";
    // Each state is held for a moment, so a save meets either about as often.
    for (;;) {
        const int fd = open(own.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd >= 0) fchmod(fd, 0666), close(fd);
        symlink(victim.c_str(), link.c_str());
        rename(own.c_str(), name.c_str());
        usleep(20);
        rename(link.c_str(), name.c_str());
        usleep(20);
    }
}

bool VictimUntouched(const std::string& victim, uid_t owner, const std::string& content) {
    struct stat info {};
    return lstat(victim.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == owner &&
           (info.st_mode & 07777) == 0600 && ReadAll(victim) == content;
}

}  // namespace

// A save into a sticky folder anyone may write to, through a name another user owns and
// keeps swapping: the victim's file (root's, or the saving user's own) never changes
// owner, mode or content, and never becomes writable by the world.
TEST_F(CSaveTest, ANameSwappedByAnotherUserNeverHandsOverTheVictimsFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to play two other users";
    struct CRaceCase {
        const char* saver;
        uid_t uid;
    };
    const std::string content = "the victim's own file\n";
    for (const CRaceCase c : {CRaceCase{"root", 0}, CRaceCase{"an ordinary user", 4242}}) {
        const std::string shared = In(std::string("shared_") + std::to_string(c.uid));
        const std::string home = In(std::string("home_") + std::to_string(c.uid));
        const std::string victim = home + "/victim.txt";
        ASSERT_EQ(0, mkdir(shared.c_str(), 0755));
        ASSERT_EQ(0, chmod(shared.c_str(), 01777));
        ASSERT_EQ(0, mkdir(home.c_str(), 0755));
        WriteAllTo(victim, content, 0600);
        ASSERT_EQ(0, chown(home.c_str(), c.uid, c.uid));
        ASSERT_EQ(0, chown(victim.c_str(), c.uid, c.uid));

        std::fflush(nullptr);
        const pid_t attacker = fork();
        if (attacker == 0) SwapNameForever(shared, victim);
        ASSERT_GT(attacker, 0);
        const int status = RunInChild([&] {
            if (c.uid != 0 && (setgroups(0, nullptr) != 0 || setresgid(c.uid, c.uid, c.uid) != 0 ||
                               setresuid(c.uid, c.uid, c.uid) != 0)) {
                return 3;
            }
            int saved = 0;
            for (int attempt = 0; attempt < kRaceSaves; ++attempt) {
                CString error;
                saved += SaveReportFile(shared + "/report.txt", "the saved report\r\n", &error);
                if (!VictimUntouched(victim, c.uid, content)) return 1;
            }
            // Root may replace the other user's own file, and does whenever it finds one.
            return c.uid == 0 && saved == 0 ? 2 : 0;
        });
        kill(attacker, SIGKILL);
        waitpid(attacker, nullptr, 0);
        EXPECT_EQ(0, status) << c.saver << ": 1 the victim's file changed, 2 never saved, 3 no such user";
        EXPECT_TRUE(VictimUntouched(victim, c.uid, content)) << c.saver;
    }
}
