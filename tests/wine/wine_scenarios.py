#!/usr/bin/env python3
"""End-to-end scenarios of keyconv.exe and keyconv_busy.exe under Wine.

  wine_scenarios.py --list                 scenario names
  wine_scenarios.py --init                 create the Wine prefix, start wineserver
  wine_scenarios.py --stop                 stop the wineserver
  wine_scenarios.py NAME                   run one scenario; exit 0 when it passes
Common options: --windows-dir (the 'windows' preset's build), --work-dir.
"""

import argparse
import os
import sys

import scenarios_conversion  # noqa: F401  (registers its scenarios)
import scenarios_ending  # noqa: F401
from wine_expectations import SCENARIOS, Failed
from wine_harness import Wine, WineError


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--windows-dir", default=os.path.join(source, "build", "windows"))
    parser.add_argument("--work-dir", default=os.path.join(source, "build", "wine-work"))
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--init", action="store_true")
    parser.add_argument("--stop", action="store_true")
    options = parser.parse_args()
    wine = Wine(os.path.join(options.work_dir, "prefix"), options.windows_dir)
    try:
        if options.list:
            print("\n".join(SCENARIOS))
        elif options.init:
            wine.init()
            print("Wine prefix ready:", wine.prefix)
        elif options.stop:
            wine.server("-k")
        else:
            SCENARIOS[options.scenario](wine, os.path.join(options.work_dir, options.scenario))
            print(f"{options.scenario}: passed")
    except (WineError, Failed, OSError) as error:
        print(f"{options.scenario or 'wine'}: FAILED: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
