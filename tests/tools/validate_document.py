#!/usr/bin/env python3
"""Checks a JSON document of quendal-sysinfo the way its readers will see it.

usage: validate_document.py DOCUMENT [SCHEMA]

The whole document is parsed with Python's json module, refusing a key repeated
within one object (most readers silently keep the last one, which loses data);
it is validated against SCHEMA (docs/document.schema.json by default); and
PACKAGES must hold TOTAL packages. Each problem is printed on its own line and
the exit status is 1 when there is one.

Other test scripts import problems(data): it returns the problems of one
document (bytes or text), an empty list for a good one.
"""

import json
import os
import sys

import jsonschema

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMA = os.path.normpath(os.path.join(HERE, "..", "..", "docs", "document.schema.json"))


def _refuse_repeated_keys(pairs):
    seen = set()
    for key, _ in pairs:
        if key in seen:
            raise ValueError("the key %r is repeated within one object" % key)
        seen.add(key)
    return dict(pairs)


def problems(data, schema_path=SCHEMA):
    try:
        text = data.decode("utf-8") if isinstance(data, bytes) else data
        document = json.loads(text, object_pairs_hook=_refuse_repeated_keys)
    except ValueError as error:  # also bad UTF-8 and JSON syntax
        return ["not JSON that a reader keeps whole: %s" % error]

    with open(schema_path, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    validator = jsonschema.validators.validator_for(schema)
    validator.check_schema(schema)
    found = []
    for error in sorted(validator(schema).iter_errors(document), key=str):
        where = "/".join(str(step) for step in error.absolute_path) or "(root)"
        found.append("schema: at %s: %s" % (where, error.message))

    # The schema cannot relate two values; only check what it let through as well-typed.
    content = document.get("CONTENT") if isinstance(document, dict) else None
    if isinstance(content, dict):
        packages, total = content.get("PACKAGES"), content.get("TOTAL")
        if isinstance(packages, list) and isinstance(total, int) and len(packages) != total:
            found.append("TOTAL is %d, but PACKAGES holds %d" % (total, len(packages)))
    return found


def main(arguments):
    if len(arguments) not in (1, 2):
        sys.stderr.write(__doc__)
        return 2
    with open(arguments[0], "rb") as document:
        data = document.read()
    found = problems(data, *arguments[1:])
    for problem in found:
        print("%s: %s" % (arguments[0], problem))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
