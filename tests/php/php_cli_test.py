#!/usr/bin/env python3
"""php_cli_test.py -- the PHP extension from PHP's command line (php8.2 -n -d extension=...):
a whole session checked against the peers, every conversion both ways, the exceptions and their
codes, the page of a script and of `php -r`, open_basedir, and no leak over 10000 objects.

Arguments: --build DIR (libbrevik.so, tools/brevik, bindings/php/brevik.so), --php BINARY,
--echo LIBRARY (the echo test component).
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "bindings"))
from binding_fixture import REFUSAL, SESSION_FILES, make_registry, write_policy, write_session_tree  # noqa: E402

ARGS = None


def php_text(text):
    """`text` as a PHP string literal (double-quoted, UTF-8 as it is; no "$" or "\\" in paths here)."""
    return json.dumps(text, ensure_ascii=False)


class PhpCliTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="brevik-php-")
        cls.build = os.path.abspath(ARGS.build)
        cls.extension = os.path.join(cls.build, "bindings", "php", "brevik.so")
        cls.registry = make_registry(cls.root, cls.build, ARGS.echo)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def php(self, code, name="script.php", options=(), run_as_code=False, extra_env=None):
        """Runs `code` (without the opening tag) as a script file, or with `php -r`; gives its
        standard output as JSON when it printed JSON, else as text."""
        env = dict(os.environ, BREVIK_REGISTRY=self.registry)
        env.update(extra_env or {})
        env.pop("GATEWAY_INTERFACE", None)
        command = [ARGS.php, "-n", "-d", f"extension={self.extension}", "-d", "display_errors=stderr", *options]
        if run_as_code:
            command += ["-r", code]
        else:
            path = os.path.join(self.root, name)
            with open(path, "w", encoding="utf-8") as f:
                f.write("<?php\n" + textwrap.dedent(code))
            command.append(path)
        done = subprocess.run(command, capture_output=True, text=True, env=env, timeout=300)
        self.assertEqual(0, done.returncode, f"php failed:\n{done.stdout}\n{done.stderr}")
        self.assertEqual("", done.stderr)
        try:
            return json.loads(done.stdout)
        except ValueError:
            return done.stdout

    def test_a_whole_session_agrees_with_the_peers(self):
        source, archive, target = write_session_tree(os.path.join(self.root, "session"))
        files = SESSION_FILES
        result = self.php(f"""
            $zip = new COM("Brevik.ZIP");
            $zip->ZipFile = {php_text(archive)};
            $zip->UsePath = 0;
            $zip->AddFolder({php_text(source)});
            $zip->Zip();
            $made = [$zip->IsError, $zip->ErrorReason];
            $list = $zip->List();
            $names = [];
            foreach ($list as $key => $entry) {{ $names[$key] = $entry->Name; }}
            $sizes = [];
            for ($i = 1; $i <= count($list); $i++) {{ $sizes[$list->Item($i)->Name] = $list[$i]->Size; }}
            $zip->TargetPath = {php_text(target)};
            $unzipped = [];
            foreach ($zip->UnZip() as $entry) {{ $unzipped[] = $entry->SavedName; }}
            $zip2 = new COM("brevik.zip");
            $zip2->zipfile = {php_text(archive)};
            $zip2->Add("plain.bin");
            $zip2->Delete();
            echo json_encode([$made, $names, $sizes, $unzipped, $zip2->IsError, $zip2->ErrorReason]);
        """)
        made, names, sizes, unzipped, delete_error, delete_reason = result
        self.assertEqual([0, ""], made)
        with zipfile.ZipFile(archive) as z:
            peer_names = z.namelist()
        self.assertEqual(0, delete_error, delete_reason)
        self.assertNotIn("plain.bin", peer_names)
        self.assertEqual(sorted(names), sorted(peer_names + ["plain.bin"]))
        self.assertEqual(list(range(len(names))), [int(k) for k in (names.keys() if isinstance(names, dict) else range(len(names)))])
        files_listed = {n: s for n, s in sizes.items() if not n.endswith("/")}
        self.assertEqual({n: len(d) for n, d in files.items()}, files_listed)
        for name, data in files.items():
            with open(os.path.join(target, name), "rb") as f:
                self.assertEqual(data, f.read(), name)
        self.assertIn("m\u00fcnchen/\u65e5\u672c.txt", unzipped)
        test = subprocess.run(["unzip", "-t", archive], capture_output=True, text=True)
        self.assertEqual(0, test.returncode, test.stdout + test.stderr)

    def test_each_entry_not_extracted_says_why(self):
        archive = os.path.join(self.root, "reasons.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("ok.txt", "fine\n")
            z.writestr("../escape.txt", "outside\n")
        target = os.path.join(self.root, "reasons-out")
        os.makedirs(target)
        result = self.php(f"""
            $zip = new COM("Brevik.ZIP");
            $zip->ZipFile = {php_text(archive)};
            $zip->TargetPath = {php_text(target)};
            $out = [];
            foreach ($zip->UnZip() as $entry) {{ $out[$entry->Name] = [$entry->SavedName, $entry->ErrorReason]; }}
            foreach ($zip->List() as $entry) {{ $out["listed " . $entry->Name] = $entry->ErrorReason; }}
            echo json_encode($out);
        """)
        self.assertEqual(["ok.txt", ""], result["ok.txt"])
        self.assertEqual(["", "its name leads outside the target folder"], result["../escape.txt"])
        self.assertEqual("", result["listed ../escape.txt"])

    def test_values_convert_both_ways(self):
        result = self.php("""
            class Label { function __toString(): string { return "labelled"; } }
            $echo = new COM("Brevik.Echo");
            $out = [];
            foreach (["null" => null, "true" => true, "false" => false, "int" => 42, "negative" => -7,
                      "wide" => 2 ** 40, "float" => 1.5, "text" => "h\\u{e9}llo \\u{65e5}", "empty" => "",
                      "label" => new Label()] as $name => $value) {
                $back = $echo->Echo($value);
                $out[$name] = [$echo->TypeOf($value), $back, gettype($back)];
            }
            $inner = $echo->Make();
            $inner->Value = "kept";
            $out["object"] = [$echo->TypeOf($inner), $echo->Echo($inner)->Value, get_class($echo->Echo($inner))];
            $echo->VALUE = 3.25;
            $out["property"] = $echo->value;
            try { $echo->Echo([1, 2]); } catch (com_exception $e) { $out["array"] = [$e->getCode(), $e->getMessage()]; }
            echo json_encode($out);
        """)
        VT_NULL, VT_I4, VT_R8, VT_BSTR, VT_DISPATCH, VT_BOOL, VT_I8 = 1, 3, 5, 8, 9, 11, 20
        self.assertEqual([VT_NULL, None, "NULL"], result["null"])
        self.assertEqual([VT_BOOL, True, "boolean"], result["true"])
        self.assertEqual([VT_BOOL, False, "boolean"], result["false"])
        self.assertEqual([VT_I4, 42, "integer"], result["int"])
        self.assertEqual([VT_I4, -7, "integer"], result["negative"])
        self.assertEqual([VT_I8, 2 ** 40, "integer"], result["wide"])
        self.assertEqual([VT_R8, 1.5, "double"], result["float"])
        self.assertEqual([VT_BSTR, "h\u00e9llo \u65e5", "string"], result["text"])
        self.assertEqual([VT_BSTR, "", "string"], result["empty"])
        self.assertEqual([VT_BSTR, "labelled", "string"], result["label"])
        self.assertEqual([VT_DISPATCH, "kept", "COM"], result["object"])
        self.assertEqual(3.25, result["property"])
        self.assertEqual([-2147352571, "Parameter 1: Type mismatch."], result["array"])

    def test_failures_throw_com_exception_with_the_hresult(self):
        result = self.php("""
            $out = [];
            $catch = function (callable $call) use (&$out) {
                try { $call(); return null; }
                catch (com_exception $e) { return [$e->getCode(), $e->getMessage(), $e instanceof Exception]; }
            };
            $echo = new COM("Brevik.Echo");
            $out["unknown"] = $catch(fn() => $echo->NoSuchMember());
            $out["unknown property"] = $catch(fn() => $echo->NoSuchProperty);
            $out["raised"] = $catch(fn() => $echo->Fail());
            $out["argument count"] = $catch(fn() => $echo->Echo());
            $out["not registered"] = $catch(fn() => new COM("No.Such.Thing"));
            $out["remote"] = $catch(fn() => new COM("Brevik.ZIP", "otherhost"));
            $out["code page"] = $catch(fn() => new COM("Brevik.ZIP", null, 1252));
            $zip = new COM("Brevik.ZIP");
            $out["zip wrong type"] = $catch(function () use ($zip) { $zip->ZipFile = null; });
            $zip->ZipFile = "/nonexistent/folder/a.zip";
            $out["zip does not throw"] = $catch(fn() => $zip->List());
            $out["zip state"] = [$zip->IsError, $zip->ErrorReason];
            $out["isset"] = [isset($zip->ZipFile), isset($zip->Nothing)];
            echo json_encode($out);
        """)
        self.assertEqual([-2147352570, "Unable to lookup `NoSuchMember': Unknown name.", True], result["unknown"])
        self.assertEqual([-2147352570, "Unable to lookup `NoSuchProperty': Unknown name.", True],
                         result["unknown property"])
        self.assertEqual([-2147467259, "The echo was told to fail", True], result["raised"])
        self.assertEqual([-2147352562, "Invalid number of parameters.", True], result["argument count"])
        code, message, _ = result["not registered"]
        self.assertEqual(-2147221005, code)
        self.assertEqual(f"Failed to create COM object `No.Such.Thing': The programmatic identifier "
                         f"\"No.Such.Thing\" is not registered in {self.registry}", message)
        self.assertEqual(-2147024809, result["remote"][0])
        self.assertIn("remote activation is not supported", result["remote"][1])
        self.assertIn("code page 1252 is not supported", result["code page"][1])
        self.assertEqual([-2147352571, "Parameter 1: Type mismatch.", True], result["zip wrong type"])
        self.assertIsNone(result["zip does not throw"])
        self.assertEqual([1, "Please specify the valid ZIP file name"], result["zip state"])
        self.assertEqual([True, False], result["isset"])

    def test_the_page_is_the_script_file_and_php_r_has_none(self):
        site = os.path.join(self.root, "site")
        os.makedirs(site, exist_ok=True)
        archive = os.path.join(site, "a.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("inside.txt", "x")
        policy = write_policy(self.root, self.registry, site)
        code = f"""
            $zip = new COM("Brevik.ZIP");
            $zip->ZipFile = {php_text(archive)};
            $list = $zip->List();
            $zip2 = new COM("Brevik.ZIP");
            $zip2->ZipFile = {php_text(archive)};
            $zip2->Add("inside.txt");
            $zip2->Delete();
            echo json_encode([$zip->IsError, $zip->ErrorReason, $zip2->ErrorReason]);
        """
        outside = self.php(code, name="outside.php", extra_env={"BREVIK_REGISTRY": policy})
        # A script inside the box is judged as that box's page, whatever CGI variables say.
        inside = self.php(code, name="site/page.php", extra_env={"BREVIK_REGISTRY": policy, "GATEWAY_INTERFACE":
                                                                 "CGI/1.1", "SCRIPT_FILENAME": "/elsewhere/x.php"})
        self.assertEqual([0, "", REFUSAL + "Delete method of Brevik component"], inside)
        self.assertEqual([1, REFUSAL + "Brevik component", REFUSAL + "Brevik component"], outside)
        bare = self.php(textwrap.dedent(code), run_as_code=True, extra_env={"BREVIK_REGISTRY": policy})
        self.assertEqual(1, bare[0])
        self.assertEqual("No page request is available to this component\n( Unable to proceed further as calling "
                         "request object not found. Please free Brevik component from Tessaly Security Box to make "
                         "List method successfull. )", bare[1])

    def test_open_basedir_confines_every_path_before_anything_is_opened(self):
        jail = os.path.join(self.root, "jail")
        os.makedirs(jail, exist_ok=True)
        inside = os.path.join(jail, "in.txt")
        outside = os.path.join(self.root, "out.txt")
        for path in (inside, outside):
            with open(path, "w") as f:
                f.write("data\n")
        code = f"""
            $out = [];
            foreach ([[{php_text(jail + '/a.zip')}, {php_text(inside)}],
                      [{php_text(self.root + '/b.zip')}, {php_text(inside)}],
                      [{php_text(jail + '/c.zip')}, {php_text(outside)}]] as [$archive, $file]) {{
                $zip = new COM("Brevik.ZIP");
                $zip->ZipFile = $archive;
                $zip->Add($file);
                $zip->Zip();
                $out[] = [$zip->IsError, $zip->ErrorReason];
            }}
            echo json_encode($out);
        """
        result = self.php(code, name="jail/page.php", options=("-d", f"open_basedir={jail}"))
        self.assertEqual([0, ""], result[0])
        self.assertEqual([1, f"open_basedir restriction in effect. File({self.root}/b.zip) is not within the allowed "
                             f"path(s): ({jail})"], result[1])
        self.assertEqual([1, f"open_basedir restriction in effect. File({outside}) is not within the allowed "
                             f"path(s): ({jail})"], result[2])
        self.assertEqual([True, False, False], [os.path.exists(p) for p in (jail + "/a.zip", self.root + "/b.zip",
                                                                           jail + "/c.zip")])

    def test_objects_made_and_dropped_are_released(self):
        result = self.php("""
            $probe = new COM("Brevik.Echo");
            $rss = function () { return (int)explode(" ", file_get_contents("/proc/self/statm"))[1] * 4096; };
            $long = str_repeat("x", 4096);
            $round = function (int $count) use ($long) {
                for ($i = 0; $i < $count; $i++) {
                    $echo = new COM("Brevik.Echo");
                    $made = $echo->Make();
                    $made->Value = $long;
                    $cycle = [$echo, $made];
                    $cycle[] = &$cycle;      // only the cycle collector frees these
                    unset($cycle);
                    $zip = new COM("Brevik.ZIP");
                    $zip->ZipFile = $long;
                }
                gc_collect_cycles();
            };
            $round(10000);                   // the allocators reach their working size
            $before = [$probe->Live, $rss(), memory_get_usage()];
            $round(10000);
            echo json_encode([$before, [$probe->Live, $rss(), memory_get_usage()]]);
        """)
        (live_before, rss_before, heap_before), (live_after, rss_after, heap_after) = result
        self.assertEqual(1, live_before)
        self.assertEqual(1, live_after)
        self.assertLess(rss_after - rss_before, 4 << 20)   # 10000 leaked objects would hold 80 MB
        self.assertLess(heap_after - heap_before, 64 << 10)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--php", required=True)
    parser.add_argument("--echo", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
