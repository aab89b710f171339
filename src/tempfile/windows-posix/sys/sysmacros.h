// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows has no device numbers; the shared code's major/minor see 0 (no block device).
#pragma once
#define major(dev) (static_cast<unsigned>(dev) >> 8)
#define minor(dev) (static_cast<unsigned>(dev) & 0xff)
