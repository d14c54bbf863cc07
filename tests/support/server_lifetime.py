"""A test server as a context manager: start() on entry, close() on exit,
also when the start fails half-way."""


class ServerLifetime:
    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()
        return False
