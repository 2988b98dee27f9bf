#!/usr/bin/env python3
"""python_module_test.py -- the Python module brevik from Python: a whole session checked against
the peers, each conversion through the echo component, the exceptions, iteration and indexing,
threads, sub-interpreters, the page of a WSGI request, and no leak over 10000 objects.

Run with the interpreter the module was built for, the module's folder on PYTHONPATH, and
arguments --build DIR and --echo LIBRARY.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "bindings"))
from binding_fixture import REFUSAL, SESSION_FILES, make_registry, write_policy, write_session_tree  # noqa: E402

ARGS = None
brevik = None


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class PythonModuleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="brevik-python-")
        cls.registry = make_registry(cls.root, ARGS.build, ARGS.echo)
        os.environ["BREVIK_REGISTRY"] = cls.registry
        for name in ("GATEWAY_INTERFACE", "SCRIPT_FILENAME"):
            os.environ.pop(name, None)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_a_whole_session_agrees_with_the_peers(self):
        source, archive, target = write_session_tree(os.path.join(self.root, "session"))
        files = SESSION_FILES

        z = brevik.Dispatch("Brevik.ZIP")
        z.ZipFile = archive
        z.usepath = 0                       # names without regard to case
        z.AddFolder(source)
        z.Zip()
        self.assertEqual((0, ""), (z.IsError, z.ErrorReason))
        entries = z.List()
        names = [e.Name for e in entries]
        with zipfile.ZipFile(archive) as peer:
            self.assertEqual(sorted(peer.namelist()), sorted(names))
        self.assertEqual(len(names), len(entries))
        self.assertEqual(names, [entries[i].Name for i in range(len(entries))])   # c[i] agrees with for
        self.assertEqual(names[0], entries.Item(1).Name)                          # Item counts from 1
        with self.assertRaises(IndexError):
            entries[len(entries)]
        z.TargetPath = target
        saved = [e.SavedName for e in z.UnZip()]
        self.assertIn("m\u00fcnchen/\u65e5\u672c.txt", saved)
        for name, data in files.items():
            with open(os.path.join(target, name), "rb") as f:
                self.assertEqual(data, f.read(), name)
        remover = brevik.Dispatch("brevik.zip")
        remover.ZipFile = archive
        remover.Add("plain.bin")
        remover.Delete()
        self.assertEqual(0, remover.IsError, remover.ErrorReason)
        with zipfile.ZipFile(archive) as peer:
            self.assertNotIn("plain.bin", peer.namelist())
        test = subprocess.run(["unzip", "-t", archive], capture_output=True, text=True)
        self.assertEqual(0, test.returncode, test.stdout + test.stderr)

    def test_values_convert_both_ways(self):
        echo = brevik.Dispatch("Brevik.Echo")
        VT_NULL, VT_I4, VT_R8, VT_BSTR, VT_DISPATCH, VT_BOOL, VT_I8 = 1, 3, 5, 8, 9, 11, 20
        for value, vt in ((None, VT_NULL), (True, VT_BOOL), (False, VT_BOOL), (42, VT_I4), (-2 ** 31, VT_I4),
                          (2 ** 31, VT_I8), (-2 ** 63, VT_I8), (1.5, VT_R8), ("h\u00e9llo \U0001F600", VT_BSTR),
                          ("", VT_BSTR)):
            with self.subTest(value=value):
                self.assertEqual(vt, echo.TypeOf(value))
                back = echo.Echo(value)
                self.assertEqual((type(value), value), (type(back), back))
        made = echo.Make()
        made.Value = "kept"
        self.assertEqual(VT_DISPATCH, echo.TypeOf(made))
        self.assertEqual("kept", echo.Echo(made).Value)
        echo.VALUE = 3.25
        self.assertEqual(3.25, echo.value)
        with self.assertRaisesRegex(TypeError, "Objects of type 'list' can not be converted to a COM VARIANT"):
            echo.Echo([1])
        with self.assertRaises(OverflowError):
            echo.Echo(2 ** 70)

    def test_failures_raise_com_error_as_pywin32_does(self):
        echo = brevik.Dispatch("Brevik.Echo")
        with self.assertRaises(brevik.com_error) as raised:
            echo.Fail()
        error = raised.exception
        self.assertEqual(-2147352567, error.hresult)                      # DISP_E_EXCEPTION
        self.assertEqual("Exception occurred.", error.strerror)
        self.assertEqual((0, "Brevik.Echo", "The echo was told to fail", None, 0, -2147467259), error.excepinfo)
        self.assertIsNone(error.argerror)
        self.assertEqual((error.hresult, error.strerror, error.excepinfo, error.argerror), error.args)
        with self.assertRaises(brevik.com_error) as raised:
            echo.Echo()
        self.assertEqual((-2147352562, "Invalid number of parameters.", None), raised.exception.args[:3])
        zip = brevik.Dispatch("Brevik.ZIP")
        with self.assertRaises(brevik.com_error) as raised:
            zip.ZipFile = None                                             # VT_NULL is no text
        self.assertEqual((-2147352571, 0), (raised.exception.hresult, raised.exception.argerror))
        with self.assertRaisesRegex(AttributeError, "has no attribute 'NoSuchMember'"):
            zip.NoSuchMember
        with self.assertRaises(AttributeError):
            zip.NoSuchMember = 1
        self.assertFalse(hasattr(zip, "Nothing"))
        with self.assertRaises(brevik.com_error) as raised:
            brevik.Dispatch("No.Such.Thing")
        self.assertEqual(-2147221005, raised.exception.hresult)
        self.assertIn('"No.Such.Thing" is not registered', raised.exception.strerror)
        zip.ZipFile = "/nonexistent/folder/a.zip"
        zip.List()                                                         # the ZIP object reports, never raises
        self.assertEqual((1, "Please specify the valid ZIP file name"), (zip.IsError, zip.ErrorReason))

    def test_objects_belong_to_their_thread_and_calls_let_other_threads_run(self):
        zip = brevik.Dispatch("Brevik.ZIP")
        seen = []

        def use_from_another_thread():
            try:
                zip.IsError
            except brevik.com_error as error:
                seen.append(error.hresult)
        thread = threading.Thread(target=use_from_another_thread)
        thread.start()
        thread.join()
        self.assertEqual([-2147417842], seen)                              # RPC_E_WRONG_THREAD

        # Two threads zip at once, each with its own object; meanwhile this thread keeps running.
        sources = []
        for n in range(2):
            path = os.path.join(self.root, f"big{n}.txt")
            with open(path, "wb") as f:
                for i in range(300000):
                    f.write(b"line %d of a file that compresses, thread %d\n" % (i, n))
            sources.append(path)
        results = {}

        def make(n):
            z = brevik.Dispatch("Brevik.ZIP")
            z.ZipFile = os.path.join(self.root, f"big{n}.zip")
            z.UsePath = 0
            z.Add(sources[n])
            z.Zip()
            results[n] = (z.IsError, z.ErrorReason)
        workers = [threading.Thread(target=make, args=(n,)) for n in range(2)]
        spins = 0
        for worker in workers:
            worker.start()
        while any(worker.is_alive() for worker in workers):
            spins += 1
        for worker in workers:
            worker.join()
        self.assertEqual({0: (0, ""), 1: (0, "")}, results)
        for n in range(2):
            with zipfile.ZipFile(os.path.join(self.root, f"big{n}.zip")) as z:
                self.assertIsNone(z.testzip())
                with open(sources[n], "rb") as f:
                    self.assertEqual(f.read(), z.read(f"big{n}.txt"))
        # Held through the calls, the GIL would have stopped this loop while both threads zipped.
        self.assertGreater(spins, 10000)

    def test_a_wsgi_request_is_judged_by_its_script(self):
        site = os.path.join(self.root, "site")
        os.makedirs(site, exist_ok=True)
        archive = os.path.join(site, "a.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("inside.txt", "x")
        os.environ["BREVIK_REGISTRY"] = write_policy(self.root, self.registry, site)
        try:
            zip = brevik.Dispatch("Brevik.ZIP")
            zip.ZipFile = archive

            def listed():
                zip.List()
                return zip.ErrorReason if zip.IsError else ""
            environ = {"SCRIPT_FILENAME": os.path.join(site, "app.wsgi"), "PATH_INFO": "/x",
                       "PATH_TRANSLATED": "/elsewhere/x"}
            with brevik.page_request(environ):
                self.assertEqual("", listed())
                with brevik.page_request({"SCRIPT_FILENAME": "/elsewhere/app.wsgi"}):
                    self.assertEqual(REFUSAL + "Brevik component", listed())
                self.assertEqual("", listed())
            with brevik.page_request({"PATH_TRANSLATED": os.path.join(site, "x")}):
                self.assertEqual(REFUSAL + "Brevik component", listed())   # no script: no page
            # Outside every block the process's CGI environment applies, as for any CGI program.
            self.assertTrue(listed().startswith("No page request is available to this component\n"))
            os.environ.update(GATEWAY_INTERFACE="CGI/1.1", SCRIPT_FILENAME=os.path.join(site, "page.cgi"))
            self.assertEqual("", listed())
        finally:
            os.environ["BREVIK_REGISTRY"] = self.registry
            for name in ("GATEWAY_INTERFACE", "SCRIPT_FILENAME"):
                os.environ.pop(name, None)
        with self.assertRaises(TypeError):
            brevik.page_request(42)

    def test_each_sub_interpreter_has_its_own_module(self):
        try:
            import _xxsubinterpreters as interpreters
        except ImportError:
            self.skipTest("this Python has no sub-interpreter API")
        interpreter = interpreters.create()
        try:
            interpreters.run_string(interpreter, (
                f"import sys\nsys.path.insert(0, {os.path.dirname(brevik.__file__)!r})\n"
                "import brevik\n"
                "z = brevik.Dispatch('Brevik.ZIP')\n"
                "z.ZipFile = 'x.zip'\n"
                "assert z.IsError == 0\n"
                "assert brevik.com_error is not None\n"))
        finally:
            interpreters.destroy(interpreter)
        self.assertEqual(0, brevik.Dispatch("Brevik.ZIP").IsError)      # this interpreter's module is intact

    def test_objects_made_and_dropped_are_released(self):
        probe = brevik.Dispatch("Brevik.Echo")
        long_text = "x" * 4096

        def round_of(count):
            for _ in range(count):
                echo = brevik.Dispatch("Brevik.Echo")
                made = echo.Make()
                made.Value = long_text
                cycle = [echo, made]
                cycle.append(cycle)                 # only the cycle collector frees these
                zip = brevik.Dispatch("Brevik.ZIP")
                zip.ZipFile = long_text
                for _ in zip.List() or ():
                    pass
            import gc
            gc.collect()
        round_of(10000)                             # the allocators reach their working size
        before = (probe.Live, rss_bytes())
        round_of(10000)
        after = (probe.Live, rss_bytes())
        self.assertEqual(before[0], after[0])           # every Echo made in the round is gone again
        self.assertLess(after[1] - before[1], 4 << 20)   # 10000 leaked objects would hold 80 MB


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--echo", required=True)
    ARGS, rest = parser.parse_known_args()
    ARGS.build = os.path.abspath(ARGS.build)
    sys.path.insert(0, os.path.join(ARGS.build, "bindings", "python"))
    import brevik as module
    brevik = module
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
