"""What the bench is doing, on standard error."""
import sys


def say(text):
    print(f"bench: {text}", file=sys.stderr, flush=True)
