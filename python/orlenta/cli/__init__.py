"""The ``orlenta`` command: ``check``, ``fix`` and ``sanitize``.

``main.py`` builds the parser from the subcommand modules listed there; each
``<name>_command.py`` adds its own parser and what runs it.
"""
