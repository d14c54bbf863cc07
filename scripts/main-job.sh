#!/usr/bin/env bash
# Sets up the machine, builds the procedure for Linux and runs one query on
# the bundled sample directory through the command-line host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base
cmake --preset linux -DQUARLIX_BUILD_TESTS=OFF >/dev/null
cmake --build --preset linux
exec build/linux/quarlix-exec -Q "EXEC master..quarlix 'LDAP://OU=Sales,OU=Staff,DC=corp,DC=example,DC=com', '(objectClass=user)', 'cn,title,mail,telephoneNumber'" "$@"
