"""The ``orlenta`` command: ``check``, ``fix``, ``sanitize`` and ``reveal``.

``main.py`` builds the parser from the subcommand modules listed there; each
``<name>_command.py`` adds its own parser and what runs it.
"""
