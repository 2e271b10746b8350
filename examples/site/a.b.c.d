Several dots in one name.
