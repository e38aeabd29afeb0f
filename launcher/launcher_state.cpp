#include "launcher/launcher_state.hpp"

wide_path target_directory;
wide_path main_library_path;
bool is_parent;
std::atomic<bool> extraction_started;
std::atomic<HANDLE> child_process_handle;
wchar_t launcher_scratch[env_value_units];

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<HANDLE>::is_always_lock_free,
              "shared with the console handler's thread without a runtime");
