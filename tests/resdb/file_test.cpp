// The POSIX file layer.
#include "resdb/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "test_support.h"

namespace {

class UnixFile : public ::testing::Test {
  protected:
    bool OpenWith(File_C& file, const std::string& name, File_C::IF_DOESNT_EXIST ifDoesntExist,
                  File_C::IF_EXISTS ifExists) {
        return file.Open(dir.file(name).c_str(), ifDoesntExist, ifExists, File_C::ACCESS_READ_WRITE,
                         File_C::SHARE_NONE);
    }
    ScratchDir dir;
};

TEST_F(UnixFile, ClosedFileDoesNothing) {
    std::unique_ptr<File_C> file(File_C::Alloc());
    char buffer[4] = {};
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(0u, file->Read(buffer, 4));
    EXPECT_EQ(0u, file->Write(buffer, 4));
    EXPECT_EQ(0u, file->SeekBegin(10));
    EXPECT_EQ(0u, file->Peek());
    EXPECT_TRUE(file->Close());
    EXPECT_EQ('/', File_C::pathChar);
    EXPECT_STREQ("./", File_C::curDir_P);
}

TEST_F(UnixFile, OpenFlagsFollowTheExistenceRules) {
    ASSERT_TRUE(writeFile(dir.file("present"), "contents"));
    struct Case {
        const char* name;
        File_C::IF_DOESNT_EXIST ifDoesntExist;
        File_C::IF_EXISTS ifExists;
        bool opens;
        long sizeAfter;  // -1: the file does not exist
    } cases[] = {
        {"present", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_FAIL, false, 8},
        {"present", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_OPEN, true, 8},
        {"present", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN, true, 8},
        {"present", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_TRUNCATE, true, 0},
        {"absent1", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN, false, -1},
        {"absent2", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_FAIL, false, -1},
        {"absent3", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_FAIL, true, 0},
        {"absent4", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.ifDoesntExist) + "/" +
                     std::to_string(c.ifExists));
        UnixFile_C file;
        EXPECT_EQ(c.opens, OpenWith(file, c.name, c.ifDoesntExist, c.ifExists));
        EXPECT_EQ(c.opens, file.IsOpen());
        EXPECT_EQ(c.sizeAfter >= 0, File_C::Exists(dir.file(c.name).c_str()));
        if (c.sizeAfter >= 0) {
            EXPECT_EQ(static_cast<unsigned long long>(c.sizeAfter),
                      File_C::Size(dir.file(c.name).c_str()));
        }
    }
}

TEST_F(UnixFile, CreatedFilesAreOwnerOnly) {
    mode_t old = umask(0);
    UnixFile_C file;
    bool opened = OpenWith(file, "new", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_FAIL);
    umask(old);
    ASSERT_TRUE(opened);
    struct stat info;
    ASSERT_EQ(0, stat(dir.file("new").c_str(), &info));
    EXPECT_EQ(0700u, info.st_mode & 0777u);
}

TEST_F(UnixFile, OnlyRegularFilesOpenAndNothingWaits) {
    // A blocking open of a FIFO without a writer would hang this test.
    ASSERT_EQ(0, mkfifo(dir.file("fifo").c_str(), 0600));
    for (const std::string& path : {dir.file("fifo"), dir.file("."), std::string("/dev/null")}) {
        UnixFile_C file;
        EXPECT_FALSE(file.OpenRead(path.c_str())) << path;
        EXPECT_FALSE(file.OpenWrite(path.c_str())) << path;
        EXPECT_EQ(-1, file.fd) << path;
    }
    // Every read stays non-blocking (a file of /proc may pose as a regular file), and
    // no child program inherits the file.
    ASSERT_TRUE(writeFile(dir.file("regular"), "x"));
    UnixFile_C file;
    ASSERT_TRUE(file.OpenRead(dir.file("regular").c_str()));
    EXPECT_NE(0, fcntl(file.fd, F_GETFL) & O_NONBLOCK);
    EXPECT_NE(0, fcntl(file.fd, F_GETFD) & FD_CLOEXEC);
}

TEST_F(UnixFile, ReadsWritesAndSeeksArePositioned) {
    UnixFile_C file;
    ASSERT_TRUE(OpenWith(file, "f", File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE));
    EXPECT_EQ(20u, file.Write("0123456789abcdefghij", 20));
    EXPECT_EQ(10u, file.SeekBegin(10));
    EXPECT_EQ(10u, file.Peek());
    EXPECT_EQ(12u, file.SeekCurrent(2));
    EXPECT_EQ(17u, file.SeekEnd(static_cast<unsigned long long>(-3)));
    char buffer[8] = {};
    EXPECT_EQ(3u, file.Read(buffer, 8));
    EXPECT_EQ("hij", std::string(buffer, 3));
    EXPECT_EQ(0u, file.Read(buffer, 8));
    // Offsets travel as 32 bits: 2 GiB and above is out of reach, and the
    // upper half of a 64-bit offset is dropped.
    EXPECT_EQ(0u, file.SeekBegin(0x80000000ull));
    EXPECT_EQ(5u, file.SeekBegin(0x100000005ull));

    // Reopening closes the earlier descriptor first; a failed open leaves the object closed.
    EXPECT_TRUE(file.Open(dir.file("f").c_str(), File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN,
                          File_C::ACCESS_READ, File_C::SHARE_READ));
    EXPECT_EQ(0u, file.Write("x", 1));  // read only
    EXPECT_FALSE(OpenWith(file, "missing", File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(-1, file.fd);
}

TEST_F(UnixFile, PathHelpers) {
    const std::string path = dir.file("f");
    EXPECT_FALSE(File_C::Exists(path.c_str()));
    EXPECT_EQ(0u, File_C::Size(path.c_str()));
    EXPECT_FALSE(File_C::Delete(path.c_str()));
    ASSERT_TRUE(writeFile(dir.file("f"), "12345"));
    EXPECT_TRUE(File_C::Exists(path.c_str()));
    EXPECT_EQ(5u, File_C::Size(path.c_str()));
    EXPECT_TRUE(File_C::Delete(path.c_str()));
    EXPECT_FALSE(File_C::Exists(path.c_str()));
}

}  // namespace
