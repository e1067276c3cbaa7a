// filled in by its layer
