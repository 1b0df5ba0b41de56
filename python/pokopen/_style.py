"""The six speech styles, numbered as the window's Options menu lists them."""

import enum

_LABELS = ("標準ぽこる語", "元気なぽこる語", "お悩みぽこる語", "ぷちこにゅ", "でじこにょ", "ぴよこぴょ")


class Style(enum.IntEnum):
    """A speech style: its number 0 to 5 is the engine's and pokopen-convert's.

    STANDARD, CHEERFUL and TROUBLED are the three variants of ぽこる語, the
    persona language of ぽこりゅん; NYU, NYO and PYO are the character dialects
    whose sentences end in にゅ, にょ and ぴょ (they read only the force flag).
    Wherever a style is taken, its number or its name (in any case, or the
    Japanese label) is taken as well.
    """

    STANDARD = 0
    CHEERFUL = 1
    TROUBLED = 2
    NYU = 3
    NYO = 4
    PYO = 5

    @property
    def label(self) -> str:
        """The style's name in the window's Options menu, such as 元気なぽこる語."""
        return _LABELS[self.value]


Style.__module__ = "pokopen"
