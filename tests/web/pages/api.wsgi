"""api.wsgi -- a test application: runs one archive method as its query asks and answers with the
object's state as JSON, judged by this script inside a page_request block."""
import json
import urllib.parse

import brevik


def application(environ, start_response):
    query = urllib.parse.parse_qs(environ.get("QUERY_STRING", ""))
    result = {"script": environ.get("SCRIPT_FILENAME"), "names": []}
    try:
        with brevik.page_request(environ):
            zip = brevik.Dispatch("Brevik.ZIP")
            zip.ZipFile = query.get("zip", [""])[0]
            for path in query.get("add", []):
                zip.Add(path)
            zip.UsePath = 0
            op = query.get("op", [""])[0]
            if op == "list":
                entries = zip.List()
                if not zip.IsError:
                    result["names"] = [entry.Name for entry in entries]
            elif op in ("zip", "delete"):
                getattr(zip, op.capitalize())()
            else:
                raise ValueError("op must be list, zip or delete")
            result["IsError"] = zip.IsError
            result["ErrorReason"] = zip.ErrorReason
    except Exception as failure:  # the test reads what went wrong from the answer
        result["exception"] = f"{type(failure).__name__}: {failure}"
    start_response("200 OK", [("Content-Type", "application/json")])
    return [json.dumps(result).encode()]
