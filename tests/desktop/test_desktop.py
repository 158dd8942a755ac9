#!/usr/bin/python3
"""The desktop around the programs, checked on what `cmake --install` and `cpack -G DEB` put
out: file managers' previews, the MIME types, the notifier's schedule and the package.

usage: test_desktop.py BUILD_DIR SOURCE_DIR thumbnails|schedule|package
"""

import configparser
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

BUILD, SOURCE = sys.argv[1], sys.argv[2]
THUMB_SIDE = 128


def install(prefix):
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)


def desktop_entry(path, group):
    # Not strict: systemd units repeat keys (the last one read is kept here).
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    with open(path, encoding="utf-8") as f:
        parser.read_file(f)
    return parser[group]


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise AssertionError(f"{path} is not a PNG")
    return struct.unpack(">II", head[16:24])


def validate_desktop_file(case, path):
    tool = shutil.which("desktop-file-validate")
    if not tool:
        print(f"skipped: desktop-file-validate is not installed ({os.path.basename(path)})")
        return
    result = subprocess.run([tool, path], capture_output=True, text=True)
    case.assertEqual(result.returncode, 0, result.stdout + result.stderr)
    case.assertNotIn("error:", result.stdout + result.stderr)


class InstalledTree(unittest.TestCase):
    """What `cmake --install` puts out, under a throw-away prefix."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.tmp.name, "usr")
        install(cls.prefix)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()


class Thumbnails(InstalledTree):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.entry = desktop_entry(
            os.path.join(cls.prefix, "share/thumbnailers/vistrel.thumbnailer"),
            "Thumbnailer Entry")
        cls.env = dict(os.environ, PATH=os.path.join(cls.prefix, "bin") + ":" + os.environ["PATH"])
        cls.env.pop("QT_QPA_PLATFORM", None)  # as a file manager starts it: no Qt settings
        cls.globs = cls.mime_globs()

    # The MIME database as the system builds it, with our definitions added.
    @classmethod
    def mime_globs(cls):
        mime = os.path.join(cls.prefix, "share/mime")
        system = "/usr/share/mime/packages/freedesktop.org.xml"
        if not shutil.which("update-mime-database") or not os.path.exists(system):
            return None
        shutil.copy(system, os.path.join(mime, "packages"))
        subprocess.run(["update-mime-database", mime], check=True, capture_output=True)
        globs = {}
        with open(os.path.join(mime, "globs2"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("#"):
                    continue
                weight, mime_type, pattern = line.rstrip("\n").split(":")[:3]
                ext = pattern[2:].lower()
                # The heaviest glob wins, as in the database's own lookup.
                if pattern.startswith("*.") and "*" not in ext:
                    if ext not in globs or int(weight) > globs[ext][0]:
                        globs[ext] = (int(weight), mime_type)
        return {ext: t for ext, (_, t) in globs.items()}

    # Runs the entry's command line the way a file manager does: field codes replaced, the
    # program found on PATH.
    def thumbnail(self, source, out):
        self.assertIsNotNone(shutil.which(self.entry["TryExec"], path=self.env["PATH"]))
        args = []
        for arg in shlex.split(self.entry["Exec"]):
            arg = arg.replace("%i", source).replace("%o", out).replace("%s", str(THUMB_SIDE))
            arg = arg.replace("%u", "file://" + urllib.parse.quote(source))
            args.append(arg)
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=120)

    def test_every_drawing_format_gets_a_preview_of_the_asked_size(self):
        samples = [
            os.path.join(SOURCE, "samples/site-plan.dxf"),
            os.path.join(SOURCE, "tests/data/hpgl/lines_pens.plt"),
            os.path.join(SOURCE, "tests/data/cgm/figures.cgm"),
            os.path.join(SOURCE, "tests/data/emf/shapes.emf"),
            os.path.join(SOURCE, "tests/data/wmf/curves.wmf"),
        ]
        types = self.entry["MimeType"].rstrip(";").split(";")
        for source in samples:
            with self.subTest(source=os.path.basename(source)):
                self.assertTrue(os.path.exists(source), source)
                if self.globs is not None:
                    ext = source.rsplit(".", 1)[1].lower()
                    self.assertIn(self.globs.get(ext), types, f"*.{ext} has no preview")
                out = os.path.join(self.tmp.name, os.path.basename(source) + ".png")
                result = self.thumbnail(source, out)
                self.assertEqual(result.returncode, 0, result.stderr)
                width, height = png_size(out)
                self.assertEqual(max(width, height), THUMB_SIDE)
                self.assertGreater(min(width, height), 0)

    def test_hpgl2_plot_names_are_known_to_the_database(self):
        if self.globs is None:
            self.skipTest("update-mime-database or the system MIME database is missing")
        for ext in ["plt", "hgl", "hpg", "plo", "hp2", "hpgl2", "gl2", "hpgl"]:
            self.assertEqual(self.globs.get(ext), "application/vnd.hp-hpgl", ext)

    def test_a_broken_drawing_fails_and_writes_no_picture(self):
        source = os.path.join(self.tmp.name, "broken.dxf")
        with open(source, "wb") as f:
            f.write(b"0\nSECTION\n2\nENTITIES\n0\nLINE\n10\nnot a number\n")
        out = os.path.join(self.tmp.name, "broken.png")
        result = self.thumbnail(source, out)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("broken.dxf", result.stderr)
        self.assertFalse(os.path.exists(out))

    def test_the_viewer_entry_validates(self):
        validate_desktop_file(self, os.path.join(self.prefix, "share/applications/vistrel.desktop"))


class Schedule(InstalledTree):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.units = os.path.join(cls.prefix, "lib/systemd/user")

    def test_the_timer_checks_after_login_then_every_three_hours(self):
        timer = desktop_entry(os.path.join(self.units, "tidewell.timer"), "Timer")
        self.assertIn("OnStartupSec", timer)
        self.assertEqual(timer["OnUnitActiveSec"], "3h")
        service = desktop_entry(os.path.join(self.units, "tidewell.service"), "Service")
        self.assertEqual(service["ExecStart"], os.path.join(self.prefix, "bin/tidewell"))
        self.assertTrue(os.access(service["ExecStart"], os.X_OK))

    def test_systemd_accepts_the_units(self):
        tool = shutil.which("systemd-analyze")
        if not tool:
            self.skipTest("systemd-analyze is not installed")
        runtime = os.path.join(self.tmp.name, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        result = subprocess.run(
            [tool, "--user", "verify", os.path.join(self.units, "tidewell.timer"),
             os.path.join(self.units, "tidewell.service")],
            env=env, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.stderr.strip(), "")

    def test_the_autostart_entry_validates(self):
        path = os.path.join(self.prefix, "share/tidewell/tidewell.desktop")
        entry = desktop_entry(path, "Desktop Entry")
        self.assertEqual(shlex.split(entry["Exec"])[0], "tidewell")
        validate_desktop_file(self, path)


class Package(unittest.TestCase):
    def test_one_package_holds_both_programs_and_their_desktop(self):
        for tool in ["cpack", "dpkg-deb", "dpkg-shlibdeps"]:
            if not shutil.which(tool):
                self.skipTest(f"{tool} is not installed")
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["cpack", "-G", "DEB", "-B", out], cwd=BUILD, check=True,
                           capture_output=True)
            debs = [n for n in os.listdir(out) if n.endswith(".deb")]
            self.assertEqual(len(debs), 1, debs)
            deb = os.path.join(out, debs[0])
            listing = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True,
                                     text=True).stdout
            files = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
            for path in ["/usr/bin/vistrel", "/usr/bin/vistrel-tool", "/usr/bin/tidewell",
                         "/usr/share/applications/vistrel.desktop",
                         "/usr/share/icons/hicolor/scalable/apps/vistrel.svg",
                         "/usr/share/icons/hicolor/48x48/apps/vistrel.png",
                         "/usr/share/thumbnailers/vistrel.thumbnailer",
                         "/usr/share/mime/packages/vistrel.xml",
                         "/usr/lib/systemd/user/tidewell.service",
                         "/usr/lib/systemd/user/tidewell.timer",
                         "/usr/share/tidewell/tidewell.desktop"]:
                self.assertIn(path, files)
            depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], check=True,
                                     capture_output=True, text=True).stdout
            for package in ["libqt6widgets6", "libqt6webenginecore6", "libjsoncpp",
                            "libmagick++", "libqt6webenginecore6-bin"]:
                self.assertIn(package, depends)
            root = os.path.join(out, "root")
            subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
            service = desktop_entry(os.path.join(root, "usr/lib/systemd/user/tidewell.service"),
                                    "Service")
            self.assertEqual(service["ExecStart"], "/usr/bin/tidewell")


if __name__ == "__main__":
    cases = {"thumbnails": Thumbnails, "schedule": Schedule, "package": Package}
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(cases[sys.argv[3]])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
