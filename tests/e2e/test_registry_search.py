"""The registry search under Wine: the JavaSoft keys and their order, the
runtimes located by installers under the product's keys and their tie rules,
the keys that installers of current runtimes write, and the registry view
each launcher reads in a 64-bit prefix."""

import pytest

from conftest import ARCHES, BOTH_ARCHES
from runtimes import (CONSOLE, FOUND, JDK_KEY, JRE_KEY, NOT_FOUND, VENDOR_KEYS, assert_loaded,  # noqa: F401
                      assert_probed, clean_registry, javasoft_lines, launch, located_lines, make_runtime, outcome,
                      reg_import, runtime_doubles, vendor_lines, vm_log, win)


# --- the registry search ----------------------------------------------------------------


JAVASOFT_CASES = [
    # id, min, max, registry {key: (CurrentVersion, {name: runtime})}, runtimes {dir: (version, behaviour)},
    # expected probes (runtime dirs, in order), winner
    pytest.param("1.4", "", {"JRE": (None, {"1.3": "rt13", "1.4": "rt14", "1.4.2": "rt142"})},
                 {"rt13": ("1.3.1_09", None), "rt14": ("1.4.0", None), "rt142": ("1.4.2_05", "exit 1")},
                 ["rt142", "rt14"], "rt14", id="highest-name-first-out-of-range-never-started"),
    pytest.param("", "", {"JRE": (None, {"1.8.0_45": "rt45", "1.8.0_392": "rt392"})},
                 {"rt45": ("1.8.0_45", None), "rt392": ("1.8.0_392", "exit 1")},
                 ["rt392", "rt45"], "rt45", id="names-sort-by-their-numbers"),
    pytest.param("1.4.2", "", {"JRE": (None, {"1.4": "rt14"})}, {"rt14": ("1.4.2_05", None)},
                 ["rt14"], "rt14", id="names-compare-over-the-shorter-text"),
    pytest.param("", "", {"JRE": (None, {"1.6": None, "1.5": "rt15"})},
                 {"rt15": ("1.5.0", None)}, ["rt15"], "rt15", id="subkey-without-javahome-passed-over"),
    pytest.param("", "", {"JRE": ("1.5", {"1.5": "rt15", "1.6": "rt16"})},
                 {"rt15": ("1.5.0", None), "rt16": ("1.6.0", None)},
                 ["rt15"], "rt15", id="current-version-preferred"),
    pytest.param("", "", {"JRE": ("1.5", {"1.5": "rt15"}), "JDK": ("1.6", {"1.6": "jdk16"})},
                 {"rt15": ("1.5.0", None), "jdk16": ("1.6.0", None)},
                 ["jdk16"], "jdk16", id="greater-current-version-of-the-jdk"),
    pytest.param("", "", {"JRE": ("9.0.4", {"9.0.4": "rt9"}), "JDK": ("17.0.9", {"17.0.9": "jdk17"})},
                 {"rt9": ("9.0.4", None), "jdk17": ("17.0.9", None)},
                 ["jdk17"], "jdk17", id="current-versions-compare-by-their-numbers"),
    pytest.param("", "", {"JRE": ("1.6", {"1.6": "rt16"}), "JDK": ("1.6", {"1.6": "jdk16"})},
                 {"rt16": ("1.6.0", None), "jdk16": ("1.6.0", None)},
                 ["rt16"], "rt16", id="current-version-tie-goes-to-the-jre"),
    pytest.param("", "1.5", {"JRE": ("1.6", {"1.6": "rt16", "1.5": "rt15"})},
                 {"rt16": ("1.6.0", None), "rt15": ("1.5.0", None)},
                 ["rt15"], "rt15", id="current-version-out-of-range"),
    pytest.param("", "", {"JRE": ("1.7", {"1.5": "rt15"})}, {"rt15": ("1.5.0", None)},
                 ["rt15"], "rt15", id="current-version-without-subkey"),
    pytest.param("", "", {"JRE": (None, {"1.4": "rt14"}), "JDK": (None, {"1.6": "jdk16"})},
                 {"rt14": ("1.4.2", None), "jdk16": ("1.6.0", None)},
                 ["rt14"], "rt14", id="jre-key-before-jdk-key"),
    pytest.param("", "", {"JRE": (None, {"1.6": "rt16"}), "JDK": (None, {"1.5": "jdk15"})},
                 {"rt16": ("1.6.0", "exit 1"), "jdk15": ("1.5.0", None)},
                 ["rt16", "jdk15"], "jdk15", id="jdk-key-when-the-jre-key-fails"),
]


@BOTH_ARCHES
@pytest.mark.parametrize("minimum, maximum, keys, runtimes, probes, winner", JAVASOFT_CASES)
def test_javasoft_search_order(wine, make_app, tmp_path, launch, vm_log, minimum, maximum, keys, runtimes,
                               probes, winner):
    for name, (version, behaviour) in runtimes.items():
        make_runtime(tmp_path / name, version, behaviour=behaviour)
    lines = []
    for which, (current, versions) in keys.items():
        lines += javasoft_lines(tmp_path, JRE_KEY if which == "JRE" else JDK_KEY, current, versions)
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "min-java-version": minimum, "max-java-version": maximum,
                    "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, *[f"{p}\\bin\\java.exe" for p in probes])
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


@BOTH_ARCHES
@pytest.mark.parametrize(
    "javasoft, hkcu, hklm, winner",
    [
        ("1.6.0_10", ["1.6.0_10"], [], "hkcu0"),
        ("1.6.0_20", ["1.6.0_10"], [], "javasoft"),
        ("1.6.0_10", [], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_10"], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_20"], ["1.6.0_10"], "hkcu0"),
        ("1.6.0_10", ["1.6.0_10"], ["1.6.0_10"], "hklm0"),
        (None, ["1.6.0_10", "1.6.0_10"], [], "hkcu0"),
        (None, ["1.6.0_10", "1.6.0_30"], [], "hkcu1"),
        ("17.0.9", ["17.0.10"], [], "hkcu0"),
        (None, ["1.8.0_392"], ["1.8.0_45"], "hkcu0"),
        (None, ["17.0.9", "9.0.4"], [], "hkcu0"),
    ],
    ids=["same-version-located-wins", "greater-javasoft-wins", "machine-located-beats-javasoft",
         "machine-wins-a-tie", "greater-user-entry-wins", "three-way-tie", "first-of-equal-entries",
         "greatest-user-entry", "located-greater-by-its-numbers", "user-entry-greater-by-its-numbers",
         "greatest-entry-by-its-numbers"],
)
def test_located_runtimes_and_their_tie_rules(wine, make_app, tmp_path, launch, vm_log, javasoft, hkcu, hklm,
                                              winner):
    lines = []
    if javasoft:
        make_runtime(tmp_path / "javasoft", javasoft)
        lines += javasoft_lines(tmp_path, JRE_KEY, None, {"1.6": "javasoft"})
    for hive, versions in (("HKCU", hkcu), ("HKLM", hklm)):
        for i, version in enumerate(versions):
            home = make_runtime(tmp_path / f"{hive.lower()}{i}", version)
            lines += located_lines(hive, [home / "bin" / "java.exe"])
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


@BOTH_ARCHES
def test_unusable_located_entries_are_passed_over(wine, make_app, tmp_path, launch, vm_log):
    old = make_runtime(tmp_path / "old", "1.3.1_09")
    good = make_runtime(tmp_path / "good", "1.5.0_22")
    broken = make_runtime(tmp_path / "broken", "1.6.0", behaviour="exit 1")
    reg_import(wine, located_lines("HKCU", [tmp_path / "gone" / "bin" / "java.exe", old / "bin" / "java.exe",
                                            good / "bin" / "java.exe", broken / "bin" / "java.exe"]))
    exe = make_app({**CONSOLE, "min-java-version": "1.4", "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, "good\\bin\\client\\jvm.dll")


@BOTH_ARCHES
def test_a_located_runtime_without_a_version_text_is_never_chosen(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", line='java version ""')
    reg_import(wine, located_lines("HKCU", [home / "bin" / "java.exe"]))

    assert outcome(launch(make_app({**CONSOLE, "jvm-search-sequence": "Y;"}, name="located.exe"))) == NOT_FOUND
    # The same runtime passes validation when named directly.
    assert outcome(launch(make_app({**CONSOLE, "jvm-search-sequence": "Rrt;"}, name="defined.exe"))) == FOUND


# --- the registry keys of current runtimes ---------------------------------------------------


@BOTH_ARCHES
@pytest.mark.parametrize("key, name, below, value", VENDOR_KEYS, ids=[f"{k[0].split(chr(92))[1]}-{k[1]}"
                                                                    for k in VENDOR_KEYS])
def test_each_key_of_current_runtimes_finds_its_runtime(wine, make_app, tmp_path, launch, vm_log, key, name, below,
                                                         value):
    home = make_runtime(tmp_path / "rt", line='openjdk version "17.0.9" 2023-10-17')
    reg_import(wine, vendor_lines("HKLM", key, name, below, value, win(home) + "\\"))
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_loaded(vm_log, "rt\\bin\\client\\jvm.dll")


ADOPTIUM = "SOFTWARE\\Eclipse Adoptium\\JDK"
ZULU = "SOFTWARE\\Azul Systems\\Zulu"


@BOTH_ARCHES
@pytest.mark.parametrize("keys, probes, winner", [
    # Within one key: out-of-range names never started, the highest name first, names without a version last.
    ([("HKLM", ADOPTIUM, "11.0.21.9", "rt11"), ("HKLM", ADOPTIUM, "17.0.9.9", "rt17"),
      ("HKLM", ADOPTIUM, "21.0.1.12", "broken21")],
     ["broken21", "rt17"], "rt17"),
    ([("HKLM", "SOFTWARE\\JavaSoft\\JDK", "custom", "other"), ("HKLM", "SOFTWARE\\JavaSoft\\JDK", "17", "broken21")],
     ["broken21", "other"], "other"),
    # Between keys: the table's order, all of HKLM before HKCU.
    ([("HKLM", ZULU, "zulu-17", "other"), ("HKLM", ADOPTIUM, "17.0.9.9", "rt17")], ["rt17"], "rt17"),
    ([("HKCU", ADOPTIUM, "17.0.9.9", "rt17"), ("HKLM", ZULU, "zulu-17", "other")], ["other"], "other"),
    # The old keys keep their place before the new ones.
    ([("HKLM", ADOPTIUM, "21.0.1.12", "rt17"), ("old", "", "1.8", "rt18")], ["rt18"], "rt18"),
], ids=["within-a-key", "names-without-a-version-last", "table-order", "hklm-before-hkcu", "old-keys-first"])
def test_the_order_of_the_keys_of_current_runtimes(wine, make_app, tmp_path, launch, vm_log, keys, probes, winner):
    runtimes = {"rt11": ("11.0.21", None), "rt17": ("17.0.9", None), "broken21": ("21.0.1", "exit 1"),
                "other": ("17.0.8", None), "rt18": ("1.8.0_392", None)}
    lines = []
    for hive, key, name, runtime in keys:
        version, behaviour = runtimes[runtime]
        home = make_runtime(tmp_path / runtime, line=f'openjdk version "{version}"', behaviour=behaviour)
        if hive == "old":
            lines += javasoft_lines(tmp_path, JRE_KEY, None, {name: runtime})
        else:
            below = "hotspot\\MSI" if "Adoptium" in key else ""
            value = "Path" if below else ("JavaHome" if "JavaSoft" in key else "InstallationPath")
            lines += vendor_lines(hive, key, name, below, value, win(home))
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "min-java-version": "1.8" if keys[-1][0] == "old" else "17",
                    "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, *[f"{p}\\bin\\java.exe" for p in probes])
    assert_loaded(vm_log, f"{winner}\\bin\\client\\jvm.dll")


@BOTH_ARCHES
def test_unusable_values_of_the_keys_of_current_runtimes_are_passed_over(wine, make_app, tmp_path, launch, vm_log):
    home = make_runtime(tmp_path / "rt", line='openjdk version "17.0.9"')
    lines = vendor_lines("HKLM", ADOPTIUM, "22", "hotspot\\MSI", "Path", None)
    lines += vendor_lines("HKLM", ADOPTIUM, "21", "hotspot\\MSI", "Path", "dword:00000001")
    lines += vendor_lines("HKLM", ADOPTIUM, "20", "hotspot\\MSI", "Path", "")
    lines += vendor_lines("HKLM", ADOPTIUM, "19", "hotspot\\MSI", "Path", win(tmp_path / "nowhere"))
    lines += vendor_lines("HKLM", ADOPTIUM, "18", "", "Path", win(home))  # not below hotspot\MSI
    lines += vendor_lines("HKLM", ADOPTIUM, "17", "hotspot\\MSI", "Path", win(home) + "\\")
    reg_import(wine, lines)
    exe = make_app({**CONSOLE, "jvm-search-sequence": "Y;"})

    assert outcome(launch(exe)) == FOUND
    assert_probed(vm_log, "rt\\bin\\java.exe")


# --- the registry views of the two architectures ----------------------------------------


@BOTH_ARCHES
def test_each_launcher_reads_the_registry_view_of_its_architecture(prefixes, arch, make_app, tmp_path, launch,
                                                                   vm_log):
    """In a 64-bit prefix the JavaSoft key of the 64-bit view names a 64-bit
    runtime, the key of the 32-bit view (WOW6432Node) a 32-bit one, as the
    installers of each write them: each launcher finds its own."""
    wine64 = prefixes.get(ARCHES["win64"])
    lines = []
    for name, view in (("win64", "SOFTWARE"), ("win32", "SOFTWARE\\Wow6432Node")):
        make_runtime(tmp_path / name, "1.8.0_202", testvm=ARCHES[name].testvm)
        lines += javasoft_lines(tmp_path, f"HKEY_LOCAL_MACHINE\\{view}\\JavaSoft\\Java Runtime Environment", "1.8",
                                {"1.8": name})
    reg_import(wine64, lines)
    try:
        assert outcome(launch(make_app({**CONSOLE, "jvm-search-sequence": "Y;"}), prefix=wine64)) == FOUND
        assert_loaded(vm_log, f"{arch.name}\\bin\\client\\jvm.dll")
    finally:
        reg_import(wine64, ["[-HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft]",
                            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\JavaSoft]"])
