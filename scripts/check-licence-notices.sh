#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Checks that every C++ source and header, CMake file, shell and Python script of the project
# carries the SPDX licence notice that scripts/add-licence-notices.sh adds; lists those that
# do not, exit status 1 if any. As a test:
#   add_test(NAME licence_notices COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-licence-notices.sh)
set -euo pipefail
exec bash "$(dirname "$0")/add-licence-notices.sh" --check "${1:-$(dirname "$0")/..}"
