// MD5 of buffers and files, and the per-file digest cache.
#include <gtest/gtest.h>

#include "evidence/digest.hpp"
#include "fake_system.hpp"

namespace ac {
namespace {

using test::FakeMachine;

constexpr const char* kEmptyMd5 = "d41d8cd98f00b204e9800998ecf8427e";
constexpr const char* kAbcMd5 = "900150983cd24fb0d6963f7d28e17f72";

TEST(BufferMd5, DigestsExactlyTheBytesGiven) {
    EXPECT_EQ(buffer_md5("abc", 3), kAbcMd5);
    EXPECT_EQ(buffer_md5(nullptr, 0), kEmptyMd5);
    EXPECT_EQ(buffer_md5(nullptr, 5), "");
}

TEST(FileMd5, CacheSharedAcrossSpellingsAndValidatedByFacts) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_file("C:\\Game\\Cheat.DLL", "abc", 7);
    m.add_file("c:/game/cheat.dll", "abc", 7);
    FileFacts facts = m.file_facts("C:\\Game\\Cheat.DLL");

    EXPECT_EQ(file_md5("C:\\Game\\Cheat.DLL", facts), kAbcMd5);
    EXPECT_EQ(file_md5("c:/game/cheat.dll", facts), kAbcMd5);  // same key: no second read
    EXPECT_EQ(m.total_file_opens(), 1);

    m.files["C:\\Game\\Cheat.DLL"].bytes = {'x', 'y'};
    FileFacts changed = facts;
    changed.lastWriteTime = 8, changed.size = 2;
    EXPECT_EQ(file_md5("C:\\Game\\Cheat.DLL", changed), buffer_md5("xy", 2));
    EXPECT_EQ(file_md5("C:\\GAME\\CHEAT.DLL", changed), buffer_md5("xy", 2));
    EXPECT_EQ(m.total_file_opens(), 2);
    changed.size = 1;  // a size change alone invalidates too
    file_md5("C:\\Game\\Cheat.DLL", changed);
    EXPECT_EQ(m.total_file_opens(), 3);
}

TEST(FileMd5, FactsNotFoundNeverReadOrFillTheCache) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_file("C:\\a.bin", "abc");
    FileFacts none{};
    EXPECT_EQ(file_md5("C:\\a.bin", none), kAbcMd5);
    EXPECT_EQ(file_md5("C:\\a.bin", none), kAbcMd5);
    EXPECT_EQ(m.total_file_opens(), 2);
    FileFacts facts = m.file_facts("C:\\a.bin");
    file_md5("C:\\a.bin", facts);
    EXPECT_EQ(m.total_file_opens(), 3);  // nothing was stored before
}

TEST(FileMd5, EmptyFileIsCachedFailuresAreNot) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_file("C:\\empty.bin", "", 3);
    FileFacts facts{true, 0, 3};
    EXPECT_EQ(file_md5("C:\\empty.bin", facts), kEmptyMd5);
    EXPECT_EQ(file_md5("C:\\empty.bin", facts), kEmptyMd5);
    EXPECT_EQ(m.total_file_opens(), 1);

    FileFacts ghost{true, 3, 3};
    EXPECT_EQ(file_md5("C:\\missing.bin", ghost), "");

    // A path that opens but cannot be read (a directory on Linux) is a
    // failure, and a failure is never cached.
    m.add_file("C:\\dir", "").read_error = true;
    FileFacts dir{true, 0, 5};
    EXPECT_EQ(file_md5("C:\\dir", dir), "");
    m.files["C:\\dir"].read_error = false;
    EXPECT_EQ(file_md5("C:\\dir", dir), kEmptyMd5);

    m.add_file("C:\\x.bin", "abc", 4);
    m.md5_fails = true;
    EXPECT_EQ(file_md5("C:\\x.bin", m.file_facts("C:\\x.bin")), "");
    m.md5_fails = false;
    EXPECT_EQ(file_md5("C:\\x.bin", m.file_facts("C:\\x.bin")), kAbcMd5);
}

// The facts fix the length before the first read: an appended file ends there,
// a file that lost bytes is no file's digest, and one above the cap is not read.
TEST(FileMd5, ReadsExactlyTheSizeTheFactsGave) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_file("C:\\grows.log", "abcdef");
    EXPECT_EQ(file_md5("C:\\grows.log", FileFacts{true, 3, 20}), kAbcMd5);
    EXPECT_EQ(file_md5("C:\\grows.log", FileFacts{true, 3, 20}), kAbcMd5);
    EXPECT_EQ(m.opens("C:\\grows.log"), 2) << "the file grew after its facts: the digest is not kept for them";
    EXPECT_EQ(file_md5("C:\\grows.log", FileFacts{}), buffer_md5("abcdef", 6));  // no facts: the handle's size

    m.add_file("C:\\shrank.bin", "abc");
    const FileFacts before{true, 6, 21};
    EXPECT_EQ(file_digest("C:\\shrank.bin", before).outcome, DigestOutcome::failed);
    m.add_file("C:\\shrank.bin", "abcdef");  // whole again: the failure was not kept
    EXPECT_EQ(file_md5("C:\\shrank.bin", before), buffer_md5("abcdef", 6));

    m.add_file("C:\\huge.bin", "abc");
    const FileDigest above = file_digest("C:\\huge.bin", FileFacts{true, kFileDigestCap + 1, 22});
    EXPECT_EQ(above.outcome, DigestOutcome::too_large);
    EXPECT_EQ(above.md5, "");
    EXPECT_EQ(m.opens("C:\\huge.bin"), 0);
    // At the cap the file is read (and here found short).
    EXPECT_EQ(file_digest("C:\\huge.bin", FileFacts{true, kFileDigestCap, 22}).outcome, DigestOutcome::failed);
    EXPECT_EQ(m.opens("C:\\huge.bin"), 1);
}

TEST(ProcessImagePath, OpensWithLimitedQueryAndClosesTheHandle) {
    FakeMachine m;
    ScopedSystemOverride use(m);
    m.add_process(10, "game.exe", "C:\\Games\\game.exe");
    m.add_process(11, "locked.exe", "C:\\x.exe").openable = false;
    m.add_process(12, "gone.exe");  // query fails
    EXPECT_EQ(process_image_path(10), "C:\\Games\\game.exe");
    EXPECT_EQ(process_image_path(11), "");
    EXPECT_EQ(process_image_path(12), "");
    EXPECT_EQ(process_image_path(99), "");
    ASSERT_FALSE(m.opened.empty());
    EXPECT_EQ(m.opened[0].second, win::PROCESS_QUERY_LIMITED_INFORMATION);
    EXPECT_EQ(m.live_process_handles, 0);
}

}  // namespace
}  // namespace ac
