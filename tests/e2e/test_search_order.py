"""The order of the runtime search sources under Wine: each source wins over
all later ones, items with any other first letter are no-ops, only the
flavour's own variable is read, only the first line of a search file counts,
and relative homes are relative to the executable, not the working
directory."""

import pytest

from runtimes import (CONSOLE, FOUND, JRE_KEY, NOT_FOUND, assert_loaded, assert_probed,  # noqa: F401
                      clean_registry, javasoft_lines, launch, make_runtime, outcome, reg_import, runtime_doubles,
                      vm_log, win)


# --- the order of the search sources ----------------------------------------------------

# One runtime directory per search source, in the order the search tries them.
SOURCES = ["pref", "itema", "itemr", "iteme", "items", "itemy", "flavour", "instrt"]


def order_setup(wine, tmp_path, make_app, present):
    """A launcher whose every search source names a valid runtime of its own;
    only the runtimes in `present` exist. Returns (exe, env)."""
    for name in present:
        make_runtime(tmp_path / name)
    # Never chosen: named by lower-case and unknown items, and by the other flavour's variable.
    make_runtime(tmp_path / "lower")
    make_runtime(tmp_path / "qbkhome")
    quenbrook = tmp_path / "inst" / ".quenbrook"
    quenbrook.mkdir(parents=True)
    (quenbrook / "pref_jre.cfg").write_text(win(tmp_path / "pref") + "\r\n")
    (quenbrook / "inst_jre.cfg").write_text("instrt\r\n")
    reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "itemy"}))
    lower = win(tmp_path / "lower")
    sequence = (f"a{lower};;X{lower};r{lower};A{win(tmp_path / 'itema')};Ritemr;"
                f"EZRV_TEST_HOME;Sany text;Y;")
    # Under its id: the build tool refuses the items that the launcher passes over.
    exe = make_app({**CONSOLE, "128": sequence, "installer-dir": "inst",
                    "product-flavour": "e", "path-prefix": "items\\bin"})
    env = {"ZRV_TEST_HOME": win(tmp_path / "iteme"), "ZORVO_JAVA_HOME": win(tmp_path / "flavour"),
           "QUENBROOK_JAVA_HOME": win(tmp_path / "qbkhome")}
    return exe, env


@pytest.mark.parametrize("winner", SOURCES)
def test_each_source_wins_in_its_turn_over_all_later_ones(wine, make_app, tmp_path, launch, vm_log, winner):
    present = SOURCES[SOURCES.index(winner):]
    exe, env = order_setup(wine, tmp_path, make_app, present)

    assert outcome(launch(exe, env=env)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")
    # Earlier sources were missing: nothing else was started on the way.
    assert_probed(vm_log, f"{winner}\\bin\\java.exe")


def test_nothing_found_when_every_source_is_missing(wine, make_app, tmp_path, launch, vm_log):
    exe, env = order_setup(wine, tmp_path, make_app, [])

    assert outcome(launch(exe, env=env)) == NOT_FOUND
    assert vm_log.probes() == [] and vm_log.loaded() == []


@pytest.mark.parametrize("letter", ["a", "r", "e", "s", "y", "X", "1", " "])
def test_items_with_any_other_first_character_are_no_ops(wine, make_app, tmp_path, launch, vm_log, letter):
    make_runtime(tmp_path / "rt")
    reg_import(wine, javasoft_lines(tmp_path, JRE_KEY, "1.6", {"1.6": "rt"}))
    argument = {"e": "ZRV_TEST_HOME", "s": "", "y": ""}.get(letter.lower(), win(tmp_path / "rt"))
    env = {"ZRV_TEST_HOME": win(tmp_path / "rt")}
    config = {**CONSOLE, "path-prefix": "rt\\bin"}
    ignored = make_app({**config, "128": f"{letter}{argument};"}, name="ignored.exe")

    assert outcome(launch(ignored, env=env)) == NOT_FOUND
    assert vm_log.probes() == []
    if letter.upper() in "ARESY":
        # The same item under its capital letter finds the runtime.
        used = make_app({**config, "jvm-search-sequence": f"{letter.upper()}{argument};"}, name="used.exe")
        assert outcome(launch(used, env=env)) == FOUND
        assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")


@pytest.mark.parametrize(
    "flavour, winner",
    [("e", "zrvhome"), ("i", "qbkhome"), ("x", "instrt"), (None, "instrt")],
    ids=["launcher-flavour", "installer-flavour", "other-letter", "no-flavour"],
)
def test_only_the_flavours_own_variable_is_read(make_app, tmp_path, launch, vm_log, flavour, winner):
    for name in ("zrvhome", "qbkhome", "instrt"):
        make_runtime(tmp_path / name)
    (tmp_path / ".quenbrook").mkdir()
    (tmp_path / ".quenbrook" / "inst_jre.cfg").write_text("instrt\n")
    config = dict(CONSOLE)
    if flavour is not None:
        config["2001"] = flavour  # under its id: the build tool refuses letters other than e and i
    exe = make_app(config)
    env = {"ZORVO_JAVA_HOME": win(tmp_path / "zrvhome"), "QUENBROOK_JAVA_HOME": win(tmp_path / "qbkhome")}

    assert outcome(launch(exe, env=env)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")
    assert_probed(vm_log, f"{winner}\\bin\\java.exe")


@pytest.mark.parametrize(
    "content, winner",
    [
        ("first\r\nsecond\r\n", "first"),
        ("first", "first"),
        ("first\n\n", "first"),
        ("\r\nsecond\r\n", "app"),      # an empty line names the executable's directory
        ("", "fallback"),              # an empty file is skipped
        ("missing\r\nfirst\r\n", "fallback"),  # only the first line counts
    ],
    ids=["crlf-and-more-lines", "no-line-end", "lf", "empty-line", "empty-file", "first-line-only"],
)
def test_only_the_first_line_of_a_search_file_counts(make_app, tmp_path, launch, vm_log, content, winner):
    app_dir = tmp_path / "app"
    make_runtime(app_dir)                      # app\bin\java.exe: the executable's directory as a home
    for name in ("first", "second", "fallback"):
        make_runtime(app_dir / name)
    (app_dir / ".quenbrook").mkdir(parents=True)
    (app_dir / ".quenbrook" / "pref_jre.cfg").write_bytes(content.encode())
    # Without installer-dir the search files lie below the executable's directory.
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Rfallback;"}, subdir="app")

    assert outcome(launch(exe)) == FOUND
    expected = "app\\bin\\client\\jvm.dll" if winner == "app" else f"app\\{winner}\\bin\\client\\jvm.dll"
    assert_loaded(vm_log, expected)


@pytest.mark.parametrize("search_file", [None, "pref_jre.cfg", "inst_jre.cfg"],
                         ids=["search-item", "preferred-file", "installed-file"])
def test_relative_homes_are_relative_to_the_executable_not_the_working_directory(make_app, tmp_path, launch,
                                                                                 vm_log, search_file):
    make_runtime(tmp_path / "app" / "rt")
    make_runtime(tmp_path / "cwd" / "rt")       # the same relative name below the working directory
    for base in ("app", "cwd"):
        quenbrook = tmp_path / base / "inst" / ".quenbrook"
        quenbrook.mkdir(parents=True)
        if search_file:
            (quenbrook / search_file).write_text("rt\n")
    config = {**CONSOLE, "installer-dir": "inst"}
    if not search_file:
        config["jvm-search-sequence"] = "Rrt;"
    exe = make_app(config, subdir="app")

    assert outcome(launch(exe, cwd=tmp_path / "cwd")) == FOUND
    assert_loaded(vm_log, "app\\rt\\bin\\client\\jvm.dll")
