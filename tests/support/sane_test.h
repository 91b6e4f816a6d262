// SANE's own `test` device, configured in a private directory so that no other backend (and no
// network) is asked.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <thread>
#include <vector>

namespace pulpex::test {

// Points SANE at `devices` test devices (test:0, test:1, ...) that reach an A4 sheet. SANE reads
// its configuration directory once per process, so every call of a program must ask for the
// same count. The backend is kept loaded after SANE lets it go, so that what it leaves behind
// can be traced to it.
inline void UseSaneTestDevice(int devices) {
    static void* const backend =
        dlopen("/usr/lib/x86_64-linux-gnu/sane/libsane-test.so.1", RTLD_NOW | RTLD_NODELETE);
    (void)backend;
    static const int configured = devices;
    ASSERT_EQ(devices, configured) << "SANE reads its configuration once per process";
    static QTemporaryDir dir;
    static const bool written = [] {
        QFile dll(dir.filePath(QStringLiteral("dll.conf")));
        QFile device(dir.filePath(QStringLiteral("test.conf")));
        if (!dll.open(QIODevice::WriteOnly) || !device.open(QIODevice::WriteOnly)) return false;
        dll.write("test\n");
        // An A4 sheet needs more than the device's usual 200 mm.
        device.write("number_of_devices " + QByteArray::number(configured) +
                     "\ngeometry_max 300.0\n");
        return true;
    }();
    ASSERT_TRUE(written);
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
    // The test backend cancels its reader thread asynchronously, which deadlocks the process
    // when the thread is stopped inside the allocator (seen under AddressSanitizer, where the
    // first 64 KiB blocks are mapped with a lock held). Blocks of that size made and given back
    // by a thread that ends beforehand leave the reader's allocation only a short step.
    static const bool warmed = [] {
        std::thread([] {
            std::vector<void*> blocks;
            for (int i = 0; i < 256; ++i)
                blocks.push_back(std::malloc(65536));
            for (void* b : blocks)
                std::free(b);
        }).join();
        return true;
    }();
    (void)warmed;
}

}  // namespace pulpex::test
