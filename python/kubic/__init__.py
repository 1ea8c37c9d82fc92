"""The kubic command line: inspect and convert block schematics."""
