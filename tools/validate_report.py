#!/usr/bin/python3
"""Validates velscan --json reports against docs/velscan-report.schema.json.

    validate_report.py SCHEMA REPORT...

Each report must be UTF-8 JSON that the schema (JSON Schema draft 7) accepts. Exit status 0 when all are
valid, 1 otherwise (every error is printed).
"""
import json
import sys

import jsonschema


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(argv[1], encoding='utf-8') as f:
        schema = json.load(f)
    validator = jsonschema.Draft7Validator(schema)
    failed = False
    for path in argv[2:]:
        try:
            with open(path, 'rb') as f:
                report = json.loads(f.read().decode('utf-8'))
        except (OSError, UnicodeDecodeError, ValueError) as e:
            print(f'{path}: not a UTF-8 JSON file: {e}', file=sys.stderr)
            failed = True
            continue
        errors = sorted(validator.iter_errors(report), key=lambda e: list(e.path))
        for e in errors:
            print(f'{path}: {"/".join(map(str, e.path)) or "(top)"}: {e.message}', file=sys.stderr)
        failed = failed or bool(errors)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
