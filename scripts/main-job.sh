#!/usr/bin/env bash
# Sets up the machine, builds the procedure for Linux with both hosts (the
# command-line host and quarlix-server) and runs one query on the bundled
# sample directory through the command-line host. Arguments go to
# quarlix-exec (--format json, --format csv ...).
#
# Standard output is the query's answer alone: the set-up's and the build's
# progress go to standard error, so that
#   bash scripts/main-job.sh --format json | python3 -m json.tool
# reads JSON. It builds only the programs and their libraries and leaves the
# build folder's options as they are, so that scripts/test-all.sh, before or
# after, finds its tests in build/linux.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target quarlix-exec quarlix-server quarlix >&2
exec build/linux/quarlix-exec -Q "EXEC master..quarlix 'LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com', '(objectClass=user)', 'cn,title,mail,telephoneNumber'" "$@"
