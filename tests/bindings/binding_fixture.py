"""binding_fixture.py -- what the language bindings' tests set up alike: a registry file with the
component and the echo test component registered, a tree of files with non-ASCII names for a
whole session, and a Security Box policy of one site."""
import os
import subprocess

ECHO_CLSID = "{6F1D0C2A-5B1E-4E57-9A43-2C71B0E4D901}"
REFUSAL = "Please contact your hosting administrator, as you are not allowed to use "

# The session's files, by name under the source folder: names in three scripts, a binary file.
SESSION_FILES = {"\u00fcbersicht.txt": b"overview\n" * 50,
                 "m\u00fcnchen/\u65e5\u672c.txt": b"\xe6\x97\xa5" * 1000,
                 "plain.bin": bytes(range(256)) * 40}


def make_registry(root, build, echo_library):
    """A registry file in `root` with "Brevik.ZIP" (registered by the built command) and
    "Brevik.Echo" (the echo component at `echo_library`); its path."""
    registry = os.path.join(root, "registry.reg")
    subprocess.run([os.path.join(build, "tools", "brevik"), "register"], check=True,
                   env=dict(os.environ, BREVIK_REGISTRY=registry))
    with open(registry, "a", encoding="utf-8") as f:
        f.write(f"\n[HKEY_CLASSES_ROOT\\Brevik.Echo\\CLSID]\n@=\"{ECHO_CLSID}\"\n"
                f"\n[HKEY_CLASSES_ROOT\\CLSID\\{ECHO_CLSID}\\InprocServer32]\n@=\"{os.path.abspath(echo_library)}\"\n")
    return registry


def write_session_tree(session_folder):
    """The session's source folder (with SESSION_FILES), archive path and empty target folder."""
    source = os.path.join(session_folder, "Fotos \u00e5r 2026")
    os.makedirs(os.path.join(source, "m\u00fcnchen"))
    for name, data in SESSION_FILES.items():
        with open(os.path.join(source, name), "wb") as f:
            f.write(data)
    target = os.path.join(session_folder, "out")
    os.makedirs(target)
    return source, os.path.join(session_folder, "s\u00e9ance.zip"), target


def write_policy(root, registry, box_folder):
    """A registry file beside `registry` that adds a Security Box: the site `box_folder` may List
    only. Its path."""
    install = os.path.join(root, "tessaly")
    os.makedirs(install, exist_ok=True)
    with open(os.path.join(install, "Admin.ini"), "w") as f:
        f.write("[Settings]\nInstalled=Brevik\nApplied=Brevik\n")
    with open(os.path.join(install, "WebSite.ini"), "w") as f:
        f.write(f"[Path]\nSite={box_folder}\n[Security]\nSite=Brevik\n[Site]\nBrevik=List\n")
    with open(registry) as f:
        text = f.read()
    policy = os.path.join(root, "policy.reg")
    with open(policy, "w") as f:
        f.write(text + f"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halden Works\\Tessaly]\n"
                       f"\"InstallationPath\"=\"{install}\"\n\"EnableSecurityBox\"=dword:00000001\n")
    return policy
