"""`python -m pairo`: the `pairo` command."""

from .cli import main

raise SystemExit(main())
