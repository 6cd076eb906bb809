#!/usr/bin/env python3
"""The schema and cairnward-check-config judge config.json files alike.

Every example config is valid to both. Each broken config of the cases file
gets the checker's verdict the case expects, the schema's verdict too, and
wherever the schema finds fault the checker reports a problem at the same
member. The checker's exit status follows its errors (warnings only with
--strict), and a wrong command line gives 2.

Usage: schema_agreement.py CHECKER SCHEMA CASES EXAMPLES_DIR
"""
import copy
import json
import pathlib
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    sys.exit("python3-jsonschema is missing; scripts/bootstrap installs it")


def tokens(pointer):
    return [t.replace("~1", "/").replace("~0", "~") for t in pointer.split("/")[1:]]


def escape(name):
    return "/" + str(name).replace("~", "~0").replace("/", "~1")


def parent_and_name(document, pointer):
    *path, name = tokens(pointer)
    node = document
    for token in path:
        node = node[token]
    return node, name


def broken(example, case):
    config = copy.deepcopy(example)
    for pointer in case.get("remove", []):
        node, name = parent_and_name(config, pointer)
        del node[name]
    for pointer, value in case.get("set", {}).items():
        node, name = parent_and_name(config, pointer)
        node[name] = value
    return config


def schema_locations(error):
    """The members the schema faults, as JSON pointers."""
    base = "".join(escape(p) for p in error.absolute_path)
    if "propertyNames" in error.absolute_schema_path:
        return [base + escape(error.instance)]
    if error.validator == "required":
        return [base + escape(n) for n in error.validator_value if n not in error.instance]
    if error.validator == "additionalProperties":
        known = error.schema.get("properties", {})
        return [base + escape(n) for n in error.instance if n not in known]
    return [base]


def check(checker, path, *options):
    run = subprocess.run([checker, "--json", *options, str(path)], capture_output=True, text=True)
    return run.returncode, json.loads(run.stdout)


def main():
    checker, schema_path, cases_path, examples = sys.argv[1:5]
    schema = json.loads(pathlib.Path(schema_path).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    example_paths = sorted(p for p in pathlib.Path(examples).rglob("*.json")
                           if not p.name.endswith(".schema.json"))
    expect(example_paths, "no example config found")
    for path in example_paths:
        config = json.loads(path.read_text())
        expect(not list(validator.iter_errors(config)), f"{path}: the schema rejects it")
        status, report = check(checker, path, "--strict")
        expect(status == 0 and not report["problems"], f"{path}: the checker finds {report}")

    example = json.loads(next(p for p in example_paths if p.name == "config.json").read_text())
    cases = json.loads(pathlib.Path(cases_path).read_text())
    with tempfile.TemporaryDirectory() as folder:
        for number, case in enumerate(cases):
            name = case["name"]
            path = pathlib.Path(folder) / f"case{number}.json"
            config = broken(example, case)
            path.write_text(json.dumps(config, indent=2, ensure_ascii=False))
            status, report = check(checker, path)
            severity, pointer = case["checker"]
            found = {(p["severity"], p["pointer"]) for p in report["problems"]}
            expect((severity, pointer) in found, f"{name}: checker gives {sorted(found)}")
            expect(status == (1 if report["errors"] else 0), f"{name}: exit status {status}")
            errors = list(validator.iter_errors(config))
            expect(bool(errors) == (case["schema"] == "rejects"),
                   f"{name}: the schema {'rejects' if errors else 'accepts'} it")
            pointers = {p["pointer"] for p in report["problems"]}
            for error in errors:
                for location in schema_locations(error):
                    expect(location in pointers,
                           f"{name}: the schema faults {location!r} ({error.message}), "
                           f"the checker does not")
            if severity == "warning" and not report["errors"]:
                strict, _ = check(checker, path, "--strict")
                expect(strict == 1, f"{name}: --strict exit status {strict}")

    usage = subprocess.run([checker], capture_output=True, text=True)
    expect(usage.returncode == 2, f"no PATH: exit status {usage.returncode}")

    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(cases)} broken configs, {len(example_paths)} examples, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
