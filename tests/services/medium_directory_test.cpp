// The image file behind a loop device, as the kernel's block device directory names it.
#include "services/medium_directory.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "tests/services/test_support.h"

namespace {

namespace fs = std::filesystem;

// A block device directory as /sys/dev/block is: a loop device's image named, one that
// was deleted, a partition of a loop device, a disk and a partition of it, and a loop
// device whose directory cannot be read. A loop device whose image cannot be named is
// never taken for a device without one.
TEST(MediumDirectory, LoopDeviceImageFile) {
    ScratchDir sys;
    auto device = [&](const std::string& directory, const std::string& image) {
        fs::create_directories(sys.file(directory));
        if (!image.empty()) {
            fs::create_directories(sys.file(directory + "/loop"));
            writeFile(sys.file(directory + "/loop/backing_file"), image + "\n");
        }
    };
    device("devices/loop0", "/srv/images/medium.img");
    device("devices/loop1", "/srv/images/gone.img (deleted)");
    device("devices/loop3", "/srv/images/disk.img");
    device("devices/loop3/loop3p1", "");
    writeFile(sys.file("devices/loop3/loop3p1/partition"), "1\n");
    device("devices/sda", "");
    device("devices/sda/sda1", "");
    writeFile(sys.file("devices/sda/sda1/partition"), "1\n");
    const std::pair<const char*, const char*> links[] = {
        {"7:0", "devices/loop0"},           {"7:1", "devices/loop1"}, {"7:3", "devices/loop3"},
        {"259:0", "devices/loop3/loop3p1"}, {"8:0", "devices/sda"},   {"8:1", "devices/sda/sda1"},
    };
    for (const auto& [number, target] : links)
        fs::create_directory_symlink(target, sys.file(number));

    struct Case {
        dev_t device;
        LoopImage kind;
        const char* image;
    };
    const Case cases[] = {
        {makedev(7, 0), LoopImage::Found, "/srv/images/medium.img"},
        {makedev(7, 1), LoopImage::Unknown, ""},
        {makedev(259, 0), LoopImage::Found, "/srv/images/disk.img"},
        {makedev(8, 0), LoopImage::None, ""},
        {makedev(8, 1), LoopImage::None, ""},
        {makedev(7, 9), LoopImage::Unknown, ""},
    };
    for (const Case& c : cases) {
        std::string image;
        EXPECT_EQ(loopImageFile(sys.path(), c.device, &image), c.kind)
            << major(c.device) << ":" << minor(c.device);
        EXPECT_EQ(image, c.image) << major(c.device) << ":" << minor(c.device);
    }
}

}  // namespace
