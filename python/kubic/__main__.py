import sys

from kubic.cli import main

sys.exit(main())
