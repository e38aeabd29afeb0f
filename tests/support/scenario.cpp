#include "tests/support/scenario.hpp"

#include <string.h>

#include <map>
#include <string>

static std::map<std::string, scenario_function> &scenarios()
{
    static std::map<std::string, scenario_function> table;
    return table;
}

scenario_registration::scenario_registration(const char *name, scenario_function function)
{
    scenarios()[name] = function;
}

process_result run_scenario(const char *name, const std::vector<std::wstring> &arguments,
                            const process_options &options)
{
    std::vector<std::wstring> line = {own_executable(), L"--scenario", widen(name)};
    line.insert(line.end(), arguments.begin(), arguments.end());
    return run_process(own_executable(), join_command_line(line), options);
}

bool dispatch_scenario(int argc, wchar_t **argv, int *exit_code)
{
    if (argc < 3 || wcscmp(argv[1], L"--scenario") != 0)
        return false;
    auto found = scenarios().find(narrow(argv[2]));
    if (found == scenarios().end()) {
        fprintf(stderr, "no scenario %ls\n", argv[2]);
        *exit_code = 99;
        return true;
    }
    std::vector<std::wstring> rest(argv + 3, argv + argc);
    *exit_code = found->second(rest);
    return true;
}
