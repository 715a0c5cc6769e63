#!/usr/bin/env bash
# The setup check on Debian 12, under its old name: debian_setup_check.sh --release bookworm.
exec bash "$(dirname "$0")/debian_setup_check.sh" --release bookworm "$@"
