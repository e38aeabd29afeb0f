"""What a run of a launcher came to: the outcome labels that the campaigns
count, and which of them a case may end in."""
import re

# The launcher's own lines: fixed texts on standard output ...
FIXED_LINES = {
    b"Error, couldn't find attached data header.": "error: no header",
    b"Error, couldn't allocate memory.": "error: no memory",
    b"Error, couldn't decode attached data.": "error: decode",
    b"Error, DLL entry point not found.": "error: no entry point",
    b"Error, failed to register signal handler.": "error: no handler",
    b"Error, command line too long for child.": "error: command line too long",
}
# ... and the ones that carry a path or a system error text, on standard error.
SYSTEM_TEXT = rb" \(\[Error -?\d+\] [^\r\n]*\)\r\n"
ERROR_LINES = [
    (re.compile(rb"Error, failed to open '.*' for writing\.\r\n", re.S), "error: open for writing"),
    (re.compile(rb"Error, couldn't unpack file to target path\." + SYSTEM_TEXT), "error: unpack"),
    (re.compile(rb"Error, load DLL\." + SYSTEM_TEXT), "error: load DLL"),
    (re.compile(rb"Error, couldn't launch child" + SYSTEM_TEXT), "error: launch child"),
    (re.compile(rb"Error, couldn't create target directory\." + SYSTEM_TEXT), "error: target directory"),
]
ABORT_CODES = {3, 0xC0000409}
EXCEPTION_BASE = 0xC0000000

# Outcomes that are never acceptable, whatever the case.
FAILURES = {"hang", "chain", "launcher crash", "left behind", "wrote beside its folder", "data lost",
            "unexplained"}


def error_label(result):
    """The label of the one error line of the launcher's own that the run
    printed, or None."""
    out, err = result["out"], result["err"]
    if not err and out.endswith(b"\r\n") and out.count(b"\n") == 1 and out[:-2] in FIXED_LINES:
        return FIXED_LINES[out[:-2]]
    if not out:
        for pattern, label in ERROR_LINES:
            if pattern.fullmatch(err):
                return label
    return None


def outcome(result, expected_files=None, exit_code=42, files=None):
    """The outcome label of one run of the campaign application (or of any
    application, when expected_files is None: then only its exit code
    counts)."""
    if result["timed_out"]:
        # The application's own code (a damaged main library) may loop.
        return "altered, application hung" if result.get("hung_in_main_library") else "hang"
    if not result["canaries_intact"]:
        return "data lost"
    started = result["processes"]
    if started > 2:
        return "chain"
    # Anything in TEMP but target folders (with what is below them).
    if any(not entry.startswith("onefile_") for entry in result["left"]):
        return "wrote beside its folder"
    code = result["exit"]
    label = error_label(result)
    if code == 2 and label is not None:
        # A failing parent removes its folder before it exits; a failing
        # child's parent cleans up.
        if result["left"]:
            return "left behind"
        return label
    if code in ABORT_CODES and not result["out"] and not result["err"]:
        # An abort at an internal limit cleans up as a failure exit does.
        return "left behind" if result["left"] else "abort"
    if started == 1:
        return "launcher crash" if code >= EXCEPTION_BASE else "unexplained"
    # The child ran the application.
    if result["left"]:
        return "left behind"
    if expected_files is None:
        return "intact" if code == exit_code else "altered"
    if code == exit_code and files == expected_files:
        return "intact"
    return "altered"
