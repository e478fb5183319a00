"""``python -m orlenta``: the ``orlenta`` command."""

import sys

from orlenta.cli.main import main

sys.exit(main())
