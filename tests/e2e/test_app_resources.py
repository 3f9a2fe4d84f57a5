"""The application's own face in its launcher: icon, splash image, version
information and manifest stamped by the build tool, read back the way Windows
reads them (resinfo: GetFileVersionInfo/VerQueryValue, the icon group,
LoadImage, the manifest), shown on the virtual display, and a launcher signed
after stamping that still finds its block."""

import struct
import subprocess
import zlib

import pytest

from conftest import BOTH_ARCHES, REPO, TESTVM, Utf8, run_tool, to_windows_path
from test_launch import App, lay_out_runtime, launcher  # noqa: F401 (fixture)
from test_splash import TITLE, Picture, SplashRun, screenshot

FILL = 192  # the splash's light grey behind transparent pixels


# --- image files ----------------------------------------------------------------------------


def png(width, height, rgba) -> bytes:
    """A PNG (8-bit RGBA) of rgba(x, y) -> (r, g, b, a)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in rgba(x, y)) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def bmp(width, height, rgb) -> bytes:
    """A 24-bit bottom-up BMP of rgb(x, y) -> (r, g, b), rows padded to 4 bytes."""
    stride = (width * 3 + 3) & ~3
    rows = b"".join(bytes(c for x in range(width) for c in reversed(rgb(x, y))).ljust(stride, b"\0")
                    for y in reversed(range(height)))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 0, 0, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(info) + len(rows), 0, 0, 54) + info + rows


def ico(images) -> bytes:
    """An .ico of (width, height, bits, data) images; 256 is written as 0."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, bits, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for *_, data in images)


def dib_icon(size, bits) -> bytes:
    """An icon image as a DIB: the header (double height), the colours, the AND mask."""
    stride = ((size * bits + 31) // 32) * 4
    mask = ((size + 31) // 32) * 4 * size
    palette = 4 * (1 << bits) if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, stride * size + mask, 0, 0, 0, 0)
    pixels = (bytes(range(256)) * (stride * size // 256 + 1))[:stride * size]
    return header + bytes(palette) + pixels + bytes(mask)


# A splash picture with opaque colours, fully and half transparent pixels.
def splash_rgba(x, y):
    if y < 10:
        return (255, 0, 0, 255) if x < 20 else (0, 0, 255, 255)
    if y < 20:
        return (0, 255, 0, 0)  # invisible: the grey shows
    return (255, 255, 255, 128) if x % 2 else (10, 20, 30, 255)


def composed(rgba):
    r, g, b, a = rgba
    return tuple((c * a + FILL * (255 - a) + 127) // 255 for c in (r, g, b))


def splash_rgb(x, y):
    return ((x * 7) % 256, (y * 11) % 256, (x + y) % 256)


SPLASH_IMAGES = {
    # name: (file, width, height, expected colour at x, y)
    "png": (lambda: png(40, 30, splash_rgba), 40, 30, lambda x, y: composed(splash_rgba(x, y))),
    "bmp": (lambda: bmp(61, 23, splash_rgb), 61, 23, splash_rgb),  # odd width: padded rows
}

VERSION = {
    "file-version": "4.3.2.1",
    "product-version": "4.3",
    "product-name": "Face Test \u00e9t\u00e9",
    "company-name": "Example Works",
    "file-description": "The face test's launcher",
    "copyright": "(c) 2026 Example Works",
    "internal-name": "facetest",
    "comments": "made by the tests",
}
VERSION_KEYS = {"file-version": "FileVersion", "product-version": "ProductVersion", "product-name": "ProductName",
                "company-name": "CompanyName", "file-description": "FileDescription", "copyright": "LegalCopyright",
                "original-filename": "OriginalFilename", "internal-name": "InternalName", "comments": "Comments"}


def resinfo(wine, exe):
    result = wine.run(TESTVM / "resinfo.exe", [to_windows_path(exe)])
    assert result.returncode == 0, result
    return dict(line.split("=", 1) for line in result.stdout.decode("utf-8").splitlines())


def pe_checksum(image, field):
    """The PE checksum of an image whose checksum field sits at `field`."""
    words = struct.unpack_from(f"<{len(image) // 2}H", image)
    total = sum(w for i, w in enumerate(words) if i not in (field // 2, field // 2 + 1))
    if len(image) % 2:
        total += image[-1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(image)


# --- version, icon, bitmap, manifest ---------------------------------------------------------


@BOTH_ARCHES
def test_the_linkers_resource_section_is_laid_out_again_byte_for_byte(tmp_path, arch, wine):
    # A directive that changes nothing still makes the tool read the resource
    # tree, lay it out again and fix the headers: the result is the launcher
    # stamped without it, byte for byte; the checksum of each is that of the
    # whole stamped file (the 64-bit linker leaves a stale one in its image).
    outputs = []
    for extra in ("", "execution-level = asInvoker\n"):
        conf = tmp_path / f"app{len(outputs)}.conf"
        conf.write_text("main-class = M\n" + extra)
        out = tmp_path / f"app{len(outputs)}.exe"
        result = run_tool("--launcher", arch.launcher, "--config", conf, "--out", out)
        assert result.returncode == 0, result.stderr
        outputs.append(out.read_bytes())
    field = struct.unpack_from("<I", outputs[0], 0x3C)[0] + 24 + 64
    for output in outputs:
        assert struct.unpack_from("<I", output, field)[0] == pe_checksum(output, field)
    assert outputs[0] == outputs[1]
    dump = run_tool("--dump", tmp_path / "app0.exe").stdout.decode()
    version = (REPO / "VERSION").read_text().split()[0]
    # The generic launcher's version information names the release.
    info = resinfo(wine, tmp_path / "app0.exe")
    assert (info["version.ProductName"], info["version.FileVersion"], info["version.ProductVersion"]) == \
        ("zorvo", version, version)
    assert info["version.fixed"].startswith(f"{version}.0 product={version}.0 ")
    # The generic launcher carries no splash picture: each application brings its own.
    assert info["bitmap"] == "none"
    assert ("# icon: 1 image (not carried by this dump: with --extract DIR it is written there and named)\n"
            f"# version information: the generic launcher's (zorvo {version})\n"
            "execution-level = asInvoker\ndpi-aware = unaware\n") in dump


@BOTH_ARCHES
def test_every_stamped_resource_reads_back_and_the_launcher_still_starts(launcher, tmp_path, wine):
    (tmp_path / "app.ico").write_bytes(ico([(16, 16, 32, dib_icon(16, 32)), (32, 32, 8, dib_icon(32, 8)),
                                            (256, 256, 32, png(256, 256, lambda x, y: (x, y, 0, 255)))]))
    (tmp_path / "splash.png").write_bytes(png(40, 30, splash_rgba))
    payload = bytes(range(256)) * 300
    (tmp_path / "data.jar").write_bytes(payload)
    # Version texts are UTF-8 in the configuration file.
    as_utf8 = {k: Utf8(v) for k, v in VERSION.items()}
    app = launcher({"icon": "app.ico", "splash-image": "splash.png", **as_utf8,
                    "execution-level": "highestAvailable", "dpi-aware": "per-monitor",
                    "embed": str(tmp_path / "data.jar")}, name="Face.exe")

    info = resinfo(wine, app.exe)
    assert info["version.fixed"] == "4.3.2.1 product=4.3.0.0 type=1 os=0x40004"
    assert info["version.translation"] == "040904b0"
    expected = {**VERSION, "original-filename": "Face.exe"}
    assert {k: info.get("version." + key) for k, key in VERSION_KEYS.items()} == expected
    assert info["icon"] == "16x16x32,32x32x8,256x256x32"
    assert info["bitmap"] == "40x30 bits=24"
    assert (info["manifest.level"], info["manifest.dpiAware"], info["manifest.dpiAwareness"]) == \
        ("highestAvailable", "true/pm", "PerMonitorV2, PerMonitor")

    run = app.run()
    assert (run.returncode, run.stderr) == (0, b"")
    temp_dir = next(o for o in run.options if o.startswith("-Dzorvo.tempDir="))[len("-Dzorvo.tempDir="):]
    assert (wine.unix_path(temp_dir) / "data.jar").read_bytes() == payload


@pytest.mark.parametrize("kind", SPLASH_IMAGES)
@BOTH_ARCHES
def test_a_stamped_splash_image_shows_pixel_exact_at_its_size(wine_x, make_app, tmp_path, arch, kind):
    make_file, width, height, colour = SPLASH_IMAGES[kind]
    image = tmp_path / f"splash.{kind}"
    image.write_bytes(make_file())
    exe = make_app({"app-type": 1, "app-name": TITLE, "main-class": "com.example.Main",
                    "jvm-search-sequence": "Rjre", "show-splash": 1, "splash-image": str(image),
                    "splash-status-text": "", "splash-fixed-text": ""})
    lay_out_runtime(tmp_path, arch.testvm)
    expected = Picture(width, height, bytes(c for y in range(height) for x in range(width) for c in colour(x, y)))
    run = SplashRun(App(wine_x, exe, tmp_path))
    try:
        def shown():
            state = run.window()
            if not state or not state["visible"]:
                return None
            return state, screenshot(wine_x.display).crop(state["x"], state["y"], width, height)
        state, picture = run.wait_until("the splash shown", shown)
        if picture.rgb != expected.rgb:  # the first frame may be caught before painting
            picture = run.wait_until("the image painted", lambda: (lambda p: p if p.rgb == expected.rgb else None)(
                screenshot(wine_x.display).crop(state["x"], state["y"], width, height)), timeout=10)
        # The window takes the image's size, centred on the 1024 x 768 screen.
        assert (state["w"], state["h"]) == (width, height)
        assert (state["x"], state["y"]) == ((1024 - width) // 2, (768 - height) // 2)
        assert picture.rgb == expected.rgb
    finally:
        launch = run.finish()
    assert launch.returncode == 0


# --- code signing ----------------------------------------------------------------------------


@pytest.fixture(scope="session")
def signing_key(tmp_path_factory):
    """A self-signed code-signing certificate and its key, made for this run."""
    work = tmp_path_factory.mktemp("signing")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Zorvo Test Signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", work / "key.pem", "-out", work / "cert.pem"],
                   check=True, capture_output=True, timeout=60)
    return work / "cert.pem", work / "key.pem"


def sign(signing_key, unsigned, signed):
    cert, key = signing_key
    result = subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Zorvo Test",
                             "-in", unsigned, "-out", signed], capture_output=True, timeout=120)
    assert result.returncode == 0, result.stderr.decode()


@BOTH_ARCHES
def test_a_launcher_signed_after_stamping_verifies_and_still_finds_its_block(launcher, tmp_path, wine, arch,
                                                                            signing_key):
    payload = bytes(range(251)) * 4000
    (tmp_path / "lib.jar").write_bytes(payload)
    stamped = launcher({"embed": str(tmp_path / "lib.jar"), "file-version": "1.0"}, name="stamped.exe")
    signed = tmp_path / "signed.exe"
    sign(signing_key, stamped.exe, signed)
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", signing_key[0], "-in", signed],
                            capture_output=True, timeout=120)
    assert verify.returncode == 0, verify.stdout.decode() + verify.stderr.decode()
    assert len(signed.read_bytes()) > len(stamped.exe.read_bytes())

    run = App(wine, signed, tmp_path).run()
    assert (run.returncode, run.stderr) == (0, b"")
    temp_dir = next(o for o in run.options if o.startswith("-Dzorvo.tempDir="))[len("-Dzorvo.tempDir="):]
    assert (wine.unix_path(temp_dir) / "lib.jar").read_bytes() == payload

    # The dump reads the signed launcher as it reads the unsigned one (its
    # comments name the file and the bytes behind the block).
    dumps = [run_tool("--dump", exe) for exe in (stamped.exe, signed)]
    assert [d.returncode for d in dumps] == [0, 0]
    settings = [[line for line in d.stdout.splitlines() if not line.startswith(b"#")] for d in dumps]
    assert b"file-version = 1.0" in settings[0] and settings[0] == settings[1]

    # A signed generic launcher is refused: stamping would break its signature.
    signed_generic = tmp_path / "generic-signed.exe"
    sign(signing_key, arch.launcher, signed_generic)
    (tmp_path / "plain.conf").write_text("main-class = M\n")
    refused = run_tool("--launcher", signed_generic, "--config", tmp_path / "plain.conf", "--out", tmp_path / "x.exe")
    assert refused.returncode != 0 and b"is signed" in refused.stderr
    assert not (tmp_path / "x.exe").exists()
