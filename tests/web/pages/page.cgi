#!/bin/sh
# page.cgi -- a CGI test page: lists the archive its query names (a plain path, not encoded) with
# the brevik command, which judges the call by the CGI request this server set up (BREVIK_CLI and
# BREVIK_REGISTRY come from the server's configuration).
echo "Content-Type: text/plain"
echo
"$BREVIK_CLI" list "$QUERY_STRING" 2>&1
echo "status $?"
