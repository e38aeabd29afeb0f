// One deletion request on trees that the shell's deletion could not take
// apart or took apart too far: attributes, depth, names that mean something
// else elsewhere, files held open, links. (Long paths: cleanup_test.cpp.)
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <string>

#include "launcher/tree_removal.hpp"
#include "tests/cleanup/cleanup_test_support.hpp"
#include "tests/support/scenario.hpp"

namespace {

// Run by tests/cleanup/unix_links_test.sh on a tree it made.
TARVEK_SCENARIO(remove_tree)
{
    remove_directory_tree(test_removal, arguments.at(0).c_str());
    return 0;
}

TEST(TreeRemoval, FilesAndFoldersWithEveryAttribute)
{
    work_folder work(L"attributes");
    std::wstring root = work.path + L"\\tree";
    const std::pair<const wchar_t *, DWORD> files[] = {
        {L"plain.txt", FILE_ATTRIBUTE_NORMAL},
        {L"read-only.txt", FILE_ATTRIBUTE_READONLY},
        {L"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
        {L"system.txt", FILE_ATTRIBUTE_SYSTEM},
        {L"all.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {L"locked folder\\inner.txt", FILE_ATTRIBUTE_READONLY},
        {L"a\\b\\c\\deep.txt", FILE_ATTRIBUTE_HIDDEN},
    };
    for (const auto &[name, attributes] : files) {
        ASSERT_TRUE(make_file(root + L"\\" + name));
        ASSERT_TRUE(SetFileAttributesW((root + L"\\" + name).c_str(), attributes));
    }
    ASSERT_TRUE(make_folder(root + L"\\empty"));
    ASSERT_TRUE(SetFileAttributesW((root + L"\\locked folder").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(make_file(work.path + L"\\beside.txt", "beside"));

    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root));
    EXPECT_EQ("beside", read_file(work.path + L"\\beside.txt"));
}

TEST(TreeRemoval, DeepTree)
{
    work_folder work(L"deep");
    // Levels are walked without recursion, so their number is limited by
    // the path alone; every step down and up is checked here. (Wine takes
    // time quadratic in the depth to open a path: 500 levels cost 20 s.)
    std::wstring deep = work.path + L"\\many";
    std::wstring path = deep;
    for (int level = 0; level < 160; ++level)
        path += L"\\d";
    ASSERT_TRUE(make_file(path + L"\\bottom.txt"));
    ASSERT_TRUE(make_file(deep + L"\\d\\d\\beside.txt"));
    remove_directory_tree(test_removal, deep.c_str());
    EXPECT_FALSE(exists(deep));
}

// Folders and files that the "\\?\" form of a path makes and that the
// ordinary form reads as a drive, a device, or without its trailing dot
// or space.
TEST(TreeRemoval, NamesThatMeanSomethingElseElsewhere)
{
    work_folder work(L"names");
    std::wstring root = work.path + L"\\tree";
    const wchar_t *names[] = {L"C:", L"CON", L"nul.txt", L"COM1", L"...", L"dot.", L"space ", L"a:b"};
    int made = 0;
    for (const wchar_t *name : names) {
        made += make_file(root + L"\\" + name + L"\\inner.txt");
        made += make_file(root + L"\\file " + name);
    }
    ASSERT_GT(made, 8) << "the platform refused most of these names";
    std::wstring canary = L"C:\\tarvek-cleanup-canary-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(make_file(canary, "canary"));
    ASSERT_TRUE(make_file(work.path + L"\\C:\\beside.txt", "beside"));

    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root));
    EXPECT_EQ("canary", read_file(canary));
    EXPECT_TRUE(exists(work.path + L"\\C:\\beside.txt"));
    EXPECT_TRUE(exists(L"C:\\windows\\system32\\kernel32.dll"));
    DeleteFileW(canary.c_str());
}

TEST(TreeRemoval, GoesOnPastAFileHeldOpenAndTheNextRequestTakesTheRest)
{
    work_folder work(L"held");
    std::wstring root = work.path + L"\\tree";
    for (const wchar_t *name : {L"a.txt", L"m\\held.txt", L"m\\n.txt", L"z\\z.txt", L"zz.txt"})
        ASSERT_TRUE(make_file(root + L"\\" + name));
    HANDLE held = CreateFileW((root + L"\\m\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    remove_directory_tree(test_removal, root.c_str());
    EXPECT_TRUE(exists(root + L"\\m\\held.txt"));
    for (const wchar_t *name : {L"a.txt", L"m\\n.txt", L"z", L"zz.txt"})
        EXPECT_FALSE(exists(root + L"\\" + name)) << narrow(name);

    CloseHandle(held);
    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root));
}

// A file whose holder shares deletion is marked at once and goes with the
// holder's last handle; until then it keeps its folder, which the next
// request takes.
TEST(TreeRemoval, AFileHeldWithDeletionSharedGoesWhenLetGo)
{
    work_folder work(L"shared");
    std::wstring root = work.path + L"\\tree";
    ASSERT_TRUE(make_file(root + L"\\m\\shared.txt"));
    ASSERT_TRUE(make_file(root + L"\\m\\n.txt"));
    HANDLE held = CreateFileW((root + L"\\m\\shared.txt").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root + L"\\m\\n.txt"));
    CloseHandle(held);
    EXPECT_FALSE(exists(root + L"\\m\\shared.txt"));
    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root));
}

TEST(TreeRemoval, PathNamingAFileOrNothing)
{
    work_folder work(L"file");
    std::wstring file = work.path + L"\\target";
    ASSERT_TRUE(make_file(file));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    remove_directory_tree(test_removal, file.c_str());
    EXPECT_FALSE(exists(file));
    remove_directory_tree(test_removal, (work.path + L"\\never made").c_str());
    EXPECT_TRUE(exists(work.path));
}

// A junction and symbolic links made through the system's own calls, where
// it makes them: removed as links, what they point to untouched.
TEST(TreeRemoval, LinksMadeByTheSystemAreRemovedAsLinks)
{
    work_folder work(L"links");
    std::wstring root = work.path + L"\\tree";
    std::wstring outside = work.path + L"\\outside";
    ASSERT_TRUE(make_file(outside + L"\\folder\\kept.txt", "kept"));
    ASSERT_TRUE(make_file(outside + L"\\file.txt", "file"));
    ASSERT_TRUE(make_folder(root));
    constexpr DWORD unprivileged = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    CreateSymbolicLinkW((root + L"\\folder link").c_str(), (outside + L"\\folder").c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged);
    CreateSymbolicLinkW((root + L"\\file link").c_str(), (outside + L"\\file.txt").c_str(), unprivileged);
    std::wstring junction = root + L"\\junction";
    make_folder(junction);
    HANDLE point = CreateFileW(junction.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (point != INVALID_HANDLE_VALUE) {
        std::wstring target = L"\\??\\" + outside + L"\\folder";
        struct {
            DWORD tag;
            WORD length, reserved, name_offset, name_length, print_offset, print_length;
            wchar_t names[2048];
        } mount = {IO_REPARSE_TAG_MOUNT_POINT, 0, 0, 0, 0, 0, 0, {}};
        mount.name_length = static_cast<WORD>(target.size() * sizeof(wchar_t));
        mount.print_offset = static_cast<WORD>(mount.name_length + sizeof(wchar_t));
        target.copy(mount.names, target.size());
        mount.length = static_cast<WORD>(8 + mount.print_offset + sizeof(wchar_t));
        DWORD returned = 0;
        DeviceIoControl(point, FSCTL_SET_REPARSE_POINT, &mount, mount.length + 8u, nullptr, 0, &returned,
                        nullptr);
        CloseHandle(point);
    }
    int links = 0;
    for (const wchar_t *name : {L"folder link", L"file link", L"junction"}) {
        DWORD attributes = GetFileAttributesW((root + L"\\" + name).c_str());
        links += attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    if (links == 0)
        GTEST_SKIP() << "the system makes no links here (Wine 8: CreateSymbolicLinkW does nothing, "
                        "junctions are not supported); tests/cleanup/unix_links_test.sh covers Unix links";

    remove_directory_tree(test_removal, root.c_str());
    EXPECT_FALSE(exists(root));
    EXPECT_EQ("kept", read_file(outside + L"\\folder\\kept.txt"));
    EXPECT_EQ("file", read_file(outside + L"\\file.txt"));
}

} // namespace
