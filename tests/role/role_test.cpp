// The role decision's ways of learning about the process that
// TARVEK_ONEFILE_PARENT names: its image path, read with the access this
// process has, and from the system's list of processes, whether it is alive
// and created this process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/launcher_state.hpp"
#include "launcher/process_list.hpp"
#include "launcher/role.hpp"
#include "tests/support/scenario.hpp"

namespace {

// A process of this test program that waits until it is ended.
struct waiting_process {
    PROCESS_INFORMATION info = {};
    waiting_process()
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring line = join_command_line({own_executable(), L"--scenario", L"wait"});
        EXPECT_TRUE(CreateProcessW(own_executable().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &info));
    }
    ~waiting_process()
    {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
};

DWORD ended_process_id()
{
    process_result r = run_scenario("wait", {L"0"});
    return r.process_id;
}

TARVEK_SCENARIO(wait)
{
    Sleep(arguments.empty() ? INFINITE : std::stoul(arguments[0]));
    return 0;
}

const wchar_t *source_name(process_image_source source)
{
    switch (source) {
    case process_image_source::module_name:
        return L"module_name";
    case process_image_source::image_name:
        return L"image_name";
    case process_image_source::ended:
        return L"ended";
    case process_image_source::none:
        break;
    }
    return L"none";
}

// Starts a waiting copy of this program and prints how its image path could
// be read once it runs, and what it was. Run under a tracer from the host as
// well, where the process's memory cannot be read.
TARVEK_SCENARIO(read_image_of_started_process)
{
    waiting_process other;
    static image_path path;
    // Until the new process has loaded its modules, only the system's image
    // name is there.
    process_image_source source = process_image_source::none;
    for (int i = 0; i < 100; ++i) {
        source = read_process_image(other.info.dwProcessId, path);
        if (source == process_image_source::module_name)
            break;
        Sleep(50);
    }
    printf("%ls\n%ls\n", source_name(source), path);
    return 0;
}

TEST(ReadProcessImage, LiveProcessGivesItsImagePathFromItsModule)
{
    process_result r = run_scenario("read_image_of_started_process");
    ASSERT_EQ(0u, r.exit_code) << r.err;
    EXPECT_EQ("module_name\r\n" + narrow(own_executable()) + "\r\n", r.out);
}

// An ended process keeps its object, image name included, while a handle to
// it is open; it is no waiting parent all the same.
TEST(ReadProcessImage, EndedProcessIsKnownEndedWhileAHandleHoldsIt)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = own_executable() + L" --scenario wait 0";
    ASSERT_TRUE(CreateProcessW(own_executable().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    WaitForSingleObject(info.hProcess, INFINITE);
    static image_path path = L"stale";
    EXPECT_EQ(process_image_source::ended, read_process_image(info.dwProcessId, path));
    EXPECT_EQ(std::wstring(), path);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// Prints, for each id argument, what the system's list of processes says of
// it: "creator" for this process's creator (started no later than this
// one), "listed" for any other listed process, "none" for one not listed;
// then the file name this process is listed under.
TARVEK_SCENARIO(listed)
{
    listed_process own;
    if (!take_process_list() || !find_listed_process(GetCurrentProcessId(), own))
        return 1;
    for (const std::wstring &id : arguments) {
        listed_process process;
        bool found = find_listed_process(std::stoul(id), process);
        bool creator = found && own.creator == process.id && process.created <= own.created;
        printf("%s ", creator ? "creator" : found ? "listed" : "none");
    }
    printf("%ls", std::wstring(own.image_name, own.image_name_units).c_str());
    release_process_list();
    return 0;
}

TEST(ProcessList, OnlyTheLiveCreatorIsTheCreator)
{
    waiting_process sibling;
    process_result r = run_scenario("listed", {std::to_wstring(GetCurrentProcessId()),
                                               std::to_wstring(sibling.info.dwProcessId),
                                               std::to_wstring(ended_process_id())});
    ASSERT_EQ(0u, r.exit_code) << r.err;
    std::wstring own = own_executable();
    EXPECT_EQ("creator listed none " + narrow(own.substr(own.rfind(L'\\') + 1)), r.out);
}

TARVEK_SCENARIO(role)
{
    printf("%s", detect_child_role() ? "child" : "parent");
    return 0;
}

// Starts a copy of this program that decides its role a second later, when
// this one, its creator and the parent it names, has ended.
TARVEK_SCENARIO(start_and_end)
{
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = join_command_line({own_executable(), L"--scenario", L"role_later", arguments.at(0)});
    if (!CreateProcessW(own_executable().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return 1;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return 0;
}

TARVEK_SCENARIO(role_later)
{
    Sleep(1000);
    write_file(arguments.at(0), detect_child_role() ? "child" : "parent");
    return 0;
}

// The parent that started it has ended (its object kept by a handle here):
// whatever may be read of it, the launcher is a parent of its own.
TEST(DetectChildRole, ACreatorThatHasEndedIsNoWaitingParent)
{
    std::wstring folder = make_temp_directory(L"role");
    std::wstring result = folder + L"\\role.txt";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION creator = {};
    std::wstring line = join_command_line({own_executable(), L"--scenario", L"start_and_end", result});
    ASSERT_TRUE(CreateProcessW(own_executable().c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &creator));
    WaitForSingleObject(creator.hProcess, INFINITE);
    std::string role;
    for (int i = 0; i < 200 && role.empty(); ++i) {
        Sleep(50);
        role = read_file(result);
    }
    EXPECT_EQ("parent", role);
    CloseHandle(creator.hThread);
    CloseHandle(creator.hProcess);
    remove_tree(folder);
}

// The decision where every image path can be read: the same executable
// waiting gives the child role, another one or none the parent role.
TARVEK_SCENARIO(role_naming_itself)
{
    SetEnvironmentVariableW(L"TARVEK_ONEFILE_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
    printf("%s", detect_child_role() ? "child" : "parent");
    return 0;
}

// The tokens a parent gives its child.
environment_changes run_of(DWORD parent)
{
    return {{L"TARVEK_ONEFILE_PARENT", std::to_wstring(parent)},
            {L"TARVEK_ONEFILE_TIME_US", L"012345"},
            {L"TARVEK_ONEFILE_RANDOM", L"AbC-_0123xy"}};
}

TEST(DetectChildRole, SameExecutableAliveGivesTheChildRole)
{
    process_options options;
    options.environment = run_of(GetCurrentProcessId());
    EXPECT_EQ("child", run_scenario("role", {}, options).out);
}

// Even from the real parent, tokens of another form than a parent writes
// (they would name a folder anywhere) make a parent of its own.
TEST(DetectChildRole, TokensOfAnotherFormGiveTheParentRole)
{
    const std::pair<const wchar_t *, const wchar_t *> spoiled[] = {
        {L"TARVEK_ONEFILE_TIME_US", L".."},        {L"TARVEK_ONEFILE_TIME_US", L"12345"},
        {L"TARVEK_ONEFILE_TIME_US", nullptr},      {L"TARVEK_ONEFILE_RANDOM", L"..\\..\\..\\x"},
        {L"TARVEK_ONEFILE_RANDOM", L"AbC-_0123x/"}, {L"TARVEK_ONEFILE_RANDOM", nullptr},
        {L"TARVEK_ONEFILE_PARENT", L"+"},          {L"TARVEK_ONEFILE_PARENT", L"0"},
    };
    for (const auto &[name, value] : spoiled) {
        process_options options;
        options.environment = run_of(GetCurrentProcessId());
        std::wstring pid = std::to_wstring(GetCurrentProcessId());
        if (value != nullptr && wcscmp(value, L"+") == 0)
            options.environment.push_back({name, L"+" + pid});
        else if (value != nullptr)
            options.environment.push_back({name, std::wstring(value)});
        else
            options.environment.push_back({name, std::nullopt});
        EXPECT_EQ("parent", run_scenario("role", {}, options).out) << narrow(name) << "=" << (value ? narrow(value) : "");
    }
}

// A process that has not run yet has no modules: its image path is the one
// the system keeps.
TEST(ReadProcessImage, SuspendedProcessGivesTheSystemsImageName)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring line = own_executable() + L" --scenario wait";
    ASSERT_TRUE(CreateProcessW(own_executable().c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &info));
    static image_path path;
    EXPECT_EQ(process_image_source::image_name, read_process_image(info.dwProcessId, path));
    EXPECT_EQ(own_executable(), path);
    TerminateProcess(info.hProcess, 0);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

TEST(DetectChildRole, AnotherExecutableOrNoneGivesTheParentRole)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION cmd = {};
    std::wstring line = L"cmd.exe";
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &cmd));
    for (const std::wstring &parent : {std::to_wstring(cmd.dwProcessId), std::to_wstring(ended_process_id()),
                                       std::wstring(L"12x"), std::wstring(L"")}) {
        process_options options;
        options.environment = {{L"TARVEK_ONEFILE_PARENT", parent}};
        EXPECT_EQ("parent", run_scenario("role", {}, options).out) << narrow(parent);
    }
    TerminateProcess(cmd.hProcess, 0);
    CloseHandle(cmd.hThread);
    CloseHandle(cmd.hProcess);
    // A process id is never its own parent: a stale one the system reused.
    EXPECT_EQ("parent", run_scenario("role_naming_itself").out);
}

} // namespace
