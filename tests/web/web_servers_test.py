#!/usr/bin/env python3
"""web_servers_test.py -- the component under real web servers, each started here on a loopback
port with its own configuration and stopped here: Apache with mod_php (prefork), Apache (event)
with PHP-FPM through mod_proxy_fcgi, and lighttpd running a CGI page that calls the brevik
command, and Apache with mod_wsgi running Python applications. Pages run as an unprivileged user
(www-data when the test runs as root).

Arguments: --build DIR (the build tree with libbrevik.so, tools/brevik, bindings/php/brevik.so and
bindings/python/brevik.*.so).
"""
import argparse
import grp
import io
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request
import uuid
import zipfile

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
APACHE_MODULES = "/usr/lib/apache2/modules"
ARGS = None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, log, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"server exited with {process.returncode}:\n{read(log)}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"server did not listen on {port}:\n{read(log)}")


def read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return "(no log)"


def write(path, text, mode=0o644):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    os.chmod(path, mode)


class Machine:
    """A scratch hosting machine: a registry file with the component registered, a Tessaly
    installation, and three sites in their own Security Boxes."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="brevik-web-")
        os.chmod(self.root, 0o755)
        self.as_root = os.geteuid() == 0
        self.user = "www-data" if self.as_root else pwd.getpwuid(os.geteuid()).pw_name
        self.group = "www-data" if self.as_root else grp.getgrgid(os.getegid()).gr_name
        self.build = os.path.abspath(ARGS.build)
        self.library = os.path.join(self.build, "libbrevik.so")
        self.extension = os.path.join(self.build, "bindings", "php", "brevik.so")
        self.cli = os.path.join(self.build, "tools", "brevik")
        self.registry = os.path.join(self.root, "registry.reg")
        env = dict(os.environ, BREVIK_REGISTRY=self.registry)
        subprocess.run([self.cli, "register"], env=env, check=True)
        self.sites = os.path.join(self.root, "sites")
        self.install = os.path.join(self.root, "tessaly")
        os.makedirs(self.install)
        for site in ("shop", "blog", "jail", "jail/inner"):
            os.makedirs(os.path.join(self.sites, site))
        with open(self.registry, "a", encoding="utf-8") as f:
            f.write("\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly]\n"
                    f"\"InstallationPath\"=\"{self.install}\"\n\"EnableSecurityBox\"=dword:00000001\n")
        os.chmod(self.registry, 0o644)
        write(os.path.join(self.install, "Admin.ini"), "[Settings]\nInstalled=Brevik\nApplied=Brevik\n")
        write(os.path.join(self.install, "WebSite.ini"),
              f"[Path]\nShop={self.site('shop')}\nBlog={self.site('blog')}\nJail={self.site('jail')}\n"
              "[Security]\nShop=Brevik\nBlog=Brevik\nJail=Brevik\n"
              "[Shop]\nBrevik=List, Zip, UnZip\n[Blog]\nBrevik=All\n[Jail]\nBrevik=All\n")
        for site in ("shop", "blog"):
            with zipfile.ZipFile(os.path.join(self.site(site), "data.zip"), "w") as z:
                z.writestr(f"{site}.txt", f"the {site}'s data\n")
            shutil.copy(os.path.join(SOURCE, "tests", "web", "pages", "api.php"), self.site(site))
            shutil.copy(os.path.join(SOURCE, "tests", "web", "pages", "page.cgi"), self.site(site))
            shutil.copy(os.path.join(SOURCE, "tests", "web", "pages", "api.wsgi"), self.site(site))
        shutil.copy(os.path.join(SOURCE, "tests", "web", "pages", "api.php"), self.site("jail/inner"))
        for example in ("zip-download.php", "list-extract.php"):
            shutil.copy(os.path.join(SOURCE, "examples", "php", example), self.site("shop"))
        shutil.copy(os.path.join(SOURCE, "examples", "python", "zip_download.py"), self.site("shop"))
        with zipfile.ZipFile(os.path.join(self.site("shop"), "archive.zip"), "w") as z:
            z.writestr("readme.txt", "read me\n")
            z.writestr("docs/guide.txt", "a guide\n")
        # The jail's pages may use only its inner folder (PHP's open_basedir), though the box holds
        # the whole site: mod_php takes it from the server's configuration, PHP-FPM from .user.ini.
        write(os.path.join(self.site("jail/inner"), ".user.ini"), f"open_basedir={self.site('jail/inner')}\n")
        if self.as_root:
            for folder, _, files in os.walk(self.sites):
                shutil.chown(folder, self.user, self.group)
                for name in files:
                    shutil.chown(os.path.join(folder, name), self.user, self.group)

    def site(self, name):
        return os.path.join(self.sites, name)

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


class Server:
    def __init__(self, machine, name):
        self.machine = machine
        self.folder = os.path.join(machine.root, name)
        os.makedirs(self.folder)
        os.chmod(self.folder, 0o755)
        # Servers that drop their privileges before opening their logs write them as the user.
        if machine.as_root:
            shutil.chown(self.folder, machine.user, machine.group)
        self.port = free_port()
        self.processes = []
        self.outputs = []

    def start(self, command, log, env=None, wait=True):
        output = open(log + ".stderr", "w")
        self.outputs.append(output)
        process = subprocess.Popen(command, env=env or dict(os.environ, BREVIK_REGISTRY=self.machine.registry),
                                   stdout=subprocess.DEVNULL, stderr=output, start_new_session=True)
        self.processes.append(process)
        if wait:
            wait_for_port(self.port, process, log + ".stderr")
        return process

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
        for output in self.outputs:
            output.close()

    def url(self, path, **query):
        text = urllib.parse.urlencode(query, doseq=True)
        return f"http://127.0.0.1:{self.port}{path}" + (f"?{text}" if text else "")

    def get(self, path, **query):
        with urllib.request.urlopen(self.url(path, **query), timeout=30) as response:
            return response.read()

    def get_raw(self, path_and_query):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path_and_query}", timeout=30) as response:
            return response.read()

    def api(self, path, **query):
        body = self.get(path, **query)
        try:
            return json.loads(body)
        except ValueError:
            raise AssertionError(f"not JSON from {path}: {body[:2000]!r}\n{self.logs()}")

    def logs(self):
        texts = []
        for name in sorted(os.listdir(self.folder)):
            if name.endswith((".log", ".stderr")):
                texts.append(f"--- {name}\n{read(os.path.join(self.folder, name))[-3000:]}")
        return "\n".join(texts)


def apache_config(server, mpm, handler_lines, extra=""):
    m = server.machine
    user = f"User {m.user}\nGroup {m.group}\n" if m.as_root else ""
    modules = ["authz_core", "mime", "dir", "env", f"mpm_{mpm}"]
    loads = "".join(f"LoadModule {name}_module {APACHE_MODULES}/mod_{name}.so\n" for name in modules)
    return f"""ServerRoot {server.folder}
ServerName 127.0.0.1
Listen 127.0.0.1:{server.port}
PidFile {server.folder}/httpd.pid
DefaultRuntimeDir {server.folder}
Mutex file:{server.folder} default
ErrorLog {server.folder}/error.log
LogLevel warn
{loads}{user}TypesConfig /dev/null
DocumentRoot {m.sites}
AcceptPathInfo On
StartServers 1
<Directory />
  Require all denied
  AllowOverride None
</Directory>
<Directory {m.sites}>
  Require all granted
</Directory>
{handler_lines}
{extra}
"""


class WebServersTest(unittest.TestCase):
    machine = None

    @classmethod
    def setUpClass(cls):
        cls.machine = Machine()

    @classmethod
    def tearDownClass(cls):
        cls.machine.close()

    def run_php_site_checks(self, server):
        m = self.machine
        shop_zip = os.path.join(m.site("shop"), "data.zip")
        blog_zip = os.path.join(m.site("blog"), "data.zip")
        refusal = "Please contact your hosting administrator, as you are not allowed to use "

        with self.subTest("an allowed method succeeds, judged by the script"):
            r = server.api("/shop/api.php", op="list", zip=shop_zip)
            self.assertEqual((0, ["shop.txt"]), (r.get("IsError"), r["names"]), r)
        with self.subTest("a refused method gets the exact refusal"):
            r = server.api("/shop/api.php", op="delete", zip=shop_zip, add="shop.txt")
            self.assertEqual((1, refusal + "Delete method of Brevik component"), (r["IsError"], r["ErrorReason"]), r)
        with self.subTest("extra path after the script changes nothing: still the shop's page"):
            r = server.api("/shop/api.php/blog/x", op="list", zip=shop_zip)
            self.assertEqual((0, ["shop.txt"]), (r.get("IsError"), r["names"]), r)
            r = server.api("/shop/api.php/blog/x", op="delete", zip=blog_zip, add="blog.txt")
            self.assertEqual(refusal + "Delete method of Brevik component", r["ErrorReason"], r)
            self.assertTrue(zipfile.ZipFile(blog_zip).namelist())
        with self.subTest("the other site's paths are refused"):
            r = server.api("/shop/api.php", op="list", zip=blog_zip)
            self.assertEqual(refusal + f"List method of Brevik component in {blog_zip} path", r["ErrorReason"], r)
        with self.subTest("open_basedir: refused outside, works inside"):
            inner = m.site("jail/inner")
            outside = os.path.join(m.site("jail"), f"outside-{server.port}.zip")
            r = server.api("/jail/inner/api.php", op="zip", zip=outside, add=os.path.join(inner, "api.php"))
            self.assertEqual(1, r["IsError"], r)
            self.assertEqual(f"open_basedir restriction in effect. File({outside}) is not within the allowed "
                             f"path(s): ({inner})", r["ErrorReason"])
            self.assertFalse(os.path.exists(outside))
            source = os.path.join(inner, "note.txt")
            if not os.path.exists(source):
                write(source, "inside the jail\n")
                if m.as_root:
                    shutil.chown(source, m.user, m.group)
            r = server.api("/jail/inner/api.php", op="zip", zip=os.path.join(inner, f"in-{server.port}.zip"), add=source)
            self.assertEqual(0, r["IsError"], r)
            # Each queued file is asked too: one outside stops the call before the archive is made.
            stray = os.path.join(m.site("jail"), "stray.txt")
            write(stray, "outside the jail\n")
            r = server.api("/jail/inner/api.php", op="zip", zip=os.path.join(inner, f"x-{server.port}.zip"), add=stray)
            self.assertIn(f"File({stray}) is not within", r["ErrorReason"])
            self.assertFalse(os.path.exists(os.path.join(inner, f"x-{server.port}.zip")))
        with self.subTest("example: upload files, download their ZIP"):
            self.check_upload_download(server, "/shop/zip-download.php")
        with self.subTest("example: list as a table, then extract"):
            page = server.get("/shop/list-extract.php").decode()
            self.assertIn("<td>docs/guide.txt</td><td>File</td><td>8</td><td>No</td>", page)
            request = urllib.request.Request(server.url("/shop/list-extract.php"), data=b"action=extract", method="POST")
            with urllib.request.urlopen(request, timeout=30) as response:
                page = response.read().decode()
            self.assertIn("2 entries", page)
            with open(os.path.join(m.site("shop"), "extracted", "docs", "guide.txt")) as f:
                self.assertEqual("a guide\n", f.read())

    def check_upload_download(self, server, path):
        m = self.machine
        boundary = uuid.uuid4().hex
        parts = []
        for name, data in (("a.txt", b"first file\n"), ("b\u00e5.txt", b"second\n" * 100)):
            parts.append(f"--{boundary}\r\nContent-Disposition: form-data; name=\"files[]\"; "
                         f"filename=\"{name}\"\r\nContent-Type: text/plain\r\n\r\n".encode() + data + b"\r\n")
        body = b"".join(parts) + f"--{boundary}--\r\n".encode()
        request = urllib.request.Request(server.url(path), data=body, method="POST",
                                         headers={"Content-Type": f"multipart/form-data; boundary={boundary}"})
        with urllib.request.urlopen(request, timeout=30) as response:
            self.assertEqual("application/zip", response.headers["Content-Type"])
            download = response.read()
        saved = os.path.join(m.root, f"download-{server.port}-{uuid.uuid4().hex}.zip")
        with open(saved, "wb") as f:
            f.write(download)
        test = subprocess.run(["unzip", "-t", saved], capture_output=True, text=True)
        self.assertEqual(0, test.returncode, test.stdout + test.stderr)
        with zipfile.ZipFile(saved) as z:
            self.assertEqual({"a.txt": b"first file\n", "b\u00e5.txt": b"second\n" * 100},
                             {n: z.read(n) for n in z.namelist()})
        self.assertEqual([], os.listdir(os.path.join(m.site("shop"), "work")))

    def test_apache_mod_wsgi(self):
        module = f"{APACHE_MODULES}/mod_wsgi.so"
        if not os.path.exists(module):
            self.skipTest("libapache2-mod-wsgi-py3 is not installed")
        m = self.machine
        server = Server(m, "wsgi")
        python_path = os.path.join(m.build, "bindings", "python")
        aliases = "".join(f"WSGIScriptAlias /{site}/api.wsgi {m.site(site)}/api.wsgi\n" for site in ("shop", "blog"))
        handler = (f"LoadModule wsgi_module {module}\nWSGIPythonPath {python_path}\n"
                   f"WSGISocketPrefix {server.folder}/wsgi\n{aliases}"
                   f"WSGIScriptAlias /shop/zip {m.site('shop')}/zip_download.py\n")
        config = os.path.join(server.folder, "httpd.conf")
        write(config, apache_config(server, "event", handler))
        shop_zip = os.path.join(m.site("shop"), "data.zip")
        blog_zip = os.path.join(m.site("blog"), "data.zip")
        refusal = "Please contact your hosting administrator, as you are not allowed to use "
        try:
            server.start(["apache2", "-f", config, "-DFOREGROUND"], os.path.join(server.folder, "httpd"))
            r = server.api("/shop/api.wsgi", op="list", zip=shop_zip)
            self.assertEqual((0, ["shop.txt"]), (r.get("IsError"), r["names"]), r)
            r = server.api("/shop/api.wsgi", op="delete", zip=shop_zip, add="shop.txt")
            self.assertEqual(refusal + "Delete method of Brevik component", r["ErrorReason"], r)
            # Each application runs in its own sub-interpreter; both import the module.
            r = server.api("/blog/api.wsgi", op="list", zip=blog_zip)
            self.assertEqual((0, ["blog.txt"]), (r.get("IsError"), r["names"]), r)
            r = server.api("/shop/api.wsgi/blog/x", op="list", zip=blog_zip)
            self.assertEqual(refusal + f"List method of Brevik component in {blog_zip} path", r["ErrorReason"], r)
            self.check_upload_download(server, "/shop/zip")
        finally:
            server.stop()

    def test_apache_mod_php_prefork(self):
        if not os.path.exists(f"{APACHE_MODULES}/libphp8.2.so"):
            self.skipTest("libapache2-mod-php8.2 is not installed")
        server = Server(self.machine, "modphp")
        write(os.path.join(server.folder, "php.ini"), f"extension={self.machine.extension}\n")
        handler = (f"LoadModule php_module {APACHE_MODULES}/libphp8.2.so\nPHPIniDir {server.folder}\n"
                   "<FilesMatch \\.php$>\n  SetHandler application/x-httpd-php\n</FilesMatch>\n"
                   f"<Directory {self.machine.site('jail')}>\n"
                   f"  php_admin_value open_basedir {self.machine.site('jail/inner')}\n</Directory>\n")
        config = os.path.join(server.folder, "httpd.conf")
        write(config, apache_config(server, "prefork", handler))
        try:
            server.start(["apache2", "-f", config, "-DFOREGROUND"], os.path.join(server.folder, "httpd"))
            self.run_php_site_checks(server)
        finally:
            server.stop()
        self.assertNotIn("Segmentation fault", server.logs())

    def test_apache_event_with_php_fpm(self):
        fpm = shutil.which("php-fpm8.2") or "/usr/sbin/php-fpm8.2"
        if not os.path.exists(fpm) or not os.path.exists(f"{APACHE_MODULES}/mod_proxy_fcgi.so"):
            self.skipTest("php8.2-fpm or mod_proxy_fcgi is not installed")
        m = self.machine
        server = Server(m, "fpm")
        socket_path = os.path.join(server.folder, "fpm.sock")
        identity = f"user = {m.user}\ngroup = {m.group}\n" if m.as_root else ""
        owner = f"listen.owner = {m.user}\nlisten.group = {m.group}\n" if m.as_root else ""
        fpm_config = os.path.join(server.folder, "fpm.conf")
        write(fpm_config, f"""[global]
pid = {server.folder}/fpm.pid
error_log = {server.folder}/fpm.log
daemonize = no
[sites]
{identity}listen = {socket_path}
{owner}listen.mode = 0660
pm = static
pm.max_children = 2
catch_workers_output = yes
env[BREVIK_REGISTRY] = {m.registry}
""")
        handler = ("LoadModule proxy_module " + APACHE_MODULES + "/mod_proxy.so\n"
                   "LoadModule proxy_fcgi_module " + APACHE_MODULES + "/mod_proxy_fcgi.so\n"
                   f"<FilesMatch \\.php$>\n  SetHandler \"proxy:unix:{socket_path}|fcgi://localhost\"\n</FilesMatch>\n")
        config = os.path.join(server.folder, "httpd.conf")
        write(config, apache_config(server, "event", handler))
        try:
            fpm_process = server.start([fpm, "-n", "-d", f"extension={m.extension}", "-y", fpm_config, "-F"],
                                       os.path.join(server.folder, "fpm"), wait=False)
            deadline = time.time() + 15
            while not os.path.exists(socket_path):
                if fpm_process.poll() is not None or time.time() > deadline:
                    raise RuntimeError("php-fpm did not start:\n" + server.logs())
                time.sleep(0.05)
            server.start(["apache2", "-f", config, "-DFOREGROUND"], os.path.join(server.folder, "httpd"))
            self.run_php_site_checks(server)
        finally:
            server.stop()

    def test_lighttpd_cgi_page_is_its_script(self):
        lighttpd = shutil.which("lighttpd") or "/usr/sbin/lighttpd"
        if not os.path.exists(lighttpd):
            self.skipTest("lighttpd is not installed")
        m = self.machine
        server = Server(m, "lighttpd")
        identity = f'server.username = "{m.user}"\nserver.groupname = "{m.group}"\n' if m.as_root else ""
        config = os.path.join(server.folder, "lighttpd.conf")
        write(config, f"""server.document-root = "{m.sites}"
server.bind = "127.0.0.1"
server.port = {server.port}
server.errorlog = "{server.folder}/error.log"
{identity}server.modules = ("mod_setenv", "mod_cgi")
cgi.assign = (".cgi" => "")
setenv.add-environment = ("BREVIK_REGISTRY" => "{m.registry}", "BREVIK_CLI" => "{m.cli}")
""")
        shop_zip = os.path.join(m.site("shop"), "data.zip")
        blog_zip = os.path.join(m.site("blog"), "data.zip")
        try:
            server.start([lighttpd, "-D", "-f", config], os.path.join(server.folder, "lighttpd"))
            ordinary = server.get_raw(f"/shop/page.cgi?{shop_zip}").decode()
            self.assertIn("shop.txt", ordinary)
            self.assertIn("status 0", ordinary)
            extra = server.get_raw(f"/shop/page.cgi/blog/x?{shop_zip}").decode()
            self.assertIn("shop.txt", extra)
            borrowed = server.get_raw(f"/shop/page.cgi/blog/x?{blog_zip}").decode()
            self.assertIn("brevik: Please contact your hosting administrator, as you are not allowed to use "
                          f"List method of Brevik component in {blog_zip} path", borrowed)
            self.assertIn("status 1", borrowed)
        finally:
            server.stop()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
