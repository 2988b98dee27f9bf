"""zip_download.py -- a WSGI application: takes the files a visitor uploads and answers with a ZIP
of them. Serve it with mod_wsgi (WSGIScriptAlias /zip /srv/sites/shop/zip_download.py) or any
WSGI server; the component judges every call by this script's file (environ["SCRIPT_FILENAME"])
inside the `with brevik.page_request(environ)` block.

Uploads are kept in a folder "work" beside this file while the archive is made, inside the site,
so that a Security Box confining the site lets the component reach them.
"""
import email.parser
import email.policy
import os
import secrets
import shutil

import brevik

WORK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "work")

FORM = b"""<!DOCTYPE html>
<title>Zip some files</title>
<form method="post" enctype="multipart/form-data">
  <input type="file" name="files" multiple required>
  <button>Download as ZIP</button>
</form>
"""


def uploaded_files(environ):
    """(file name, bytes) of each file field of a multipart/form-data body."""
    length = int(environ.get("CONTENT_LENGTH") or 0)
    body = environ["wsgi.input"].read(length)
    head = f"Content-Type: {environ.get('CONTENT_TYPE', '')}\r\n\r\n".encode()
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(head + body)
    for part in message.iter_parts() if message.is_multipart() else ():
        name = part.get_filename()
        if name:
            yield os.path.basename(name), part.get_payload(decode=True) or b""


def application(environ, start_response):
    if environ["REQUEST_METHOD"] != "POST":
        start_response("200 OK", [("Content-Type", "text/html; charset=utf-8")])
        return [FORM]

    # One folder per request: two visitors at once never see each other's files.
    folder = os.path.join(WORK, secrets.token_hex(8))
    os.makedirs(folder, mode=0o700)
    archive = folder + ".zip"
    try:
        with brevik.page_request(environ):
            zip = brevik.Dispatch("Brevik.ZIP")
            zip.ZipFile = archive
            zip.UsePath = 0          # store each file under its own name, not the work folder's path
            for name, data in uploaded_files(environ):
                path = os.path.join(folder, name)
                with open(path, "wb") as f:
                    f.write(data)
                zip.Add(path)
            zip.Zip()
            if zip.IsError:
                start_response("400 Bad Request", [("Content-Type", "text/plain; charset=utf-8")])
                return [f"Could not make the archive: {zip.ErrorReason}\n".encode()]
        with open(archive, "rb") as f:
            data = f.read()
        start_response("200 OK", [("Content-Type", "application/zip"),
                                  ("Content-Disposition", 'attachment; filename="files.zip"'),
                                  ("Content-Length", str(len(data)))])
        return [data]
    finally:
        # Nothing of the visitor's stays behind.
        shutil.rmtree(folder, ignore_errors=True)
        if os.path.exists(archive):
            os.remove(archive)
