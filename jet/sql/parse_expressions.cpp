#include <charconv>
#include <cmath>
#include <limits>

#include "parser_impl.h"

namespace jet::sql::detail {

ExprPtr Parser::make(ExprKind kind, const Token& at) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->position = positionOf(at);
    return e;
}

ExprPtr Parser::binary(BinaryOp op, ExprPtr l, ExprPtr r) {
    auto e = std::make_unique<Expr>();
    e->kind = ExprKind::Binary;
    e->position = l->position;
    e->binaryOp = op;
    e->left = std::move(l);
    e->right = std::move(r);
    return e;
}

ExprPtr Parser::parseOr() {
    ExprPtr l = parseAnd();
    while (true) {
        if (acceptWord("OR")) {
            l = binary(BinaryOp::Or, std::move(l), parseAnd());
        } else if (isWord("XOR") || isWord("EQV") || isWord("IMP")) {
            notSupported("the " + upper(peek().text) + " operator");
        } else {
            return l;
        }
    }
}

ExprPtr Parser::parseAnd() {
    ExprPtr l = parseNot();
    while (acceptWord("AND")) l = binary(BinaryOp::And, std::move(l), parseNot());
    return l;
}

ExprPtr Parser::parseNot() {
    if (isWord("NOT")) {
        const Token& t = advance();
        if (isWord("EXISTS")) notSupported("EXISTS (a sub-query)");
        ExprPtr e = make(ExprKind::Unary, t);
        e->unaryOp = UnaryOp::Not;
        e->left = parseNot();
        return e;
    }
    if (isWord("EXISTS")) notSupported("EXISTS (a sub-query)");
    return parseComparison();
}

ExprPtr Parser::parseComparison() {
    ExprPtr l = parseConcat();
    while (true) {
        BinaryOp op;
        switch (peek().kind) {
        case TokenKind::Equal: op = BinaryOp::Equal; break;
        case TokenKind::NotEqual: op = BinaryOp::NotEqual; break;
        case TokenKind::Less: op = BinaryOp::Less; break;
        case TokenKind::LessEqual: op = BinaryOp::LessEqual; break;
        case TokenKind::Greater: op = BinaryOp::Greater; break;
        case TokenKind::GreaterEqual: op = BinaryOp::GreaterEqual; break;
        default: {
            if (isWord("IS")) {
                const Token& t = advance();
                ExprPtr e = make(ExprKind::IsNull, t);
                e->position = l->position;
                e->negated = acceptWord("NOT");
                expectWord("NULL");
                e->left = std::move(l);
                l = std::move(e);
                continue;
            }
            bool negated = false;
            if (isWord("NOT") && (isWord("LIKE", 1) || isWord("BETWEEN", 1) || isWord("IN", 1))) {
                advance();
                negated = true;
            }
            if (isWord("LIKE")) {
                const Token& t = advance();
                ExprPtr e = make(ExprKind::Like, t);
                e->position = l->position;
                e->negated = negated;
                e->left = std::move(l);
                e->right = parseConcat();
                l = std::move(e);
                continue;
            }
            if (isWord("BETWEEN")) {
                const Token& t = advance();
                ExprPtr e = make(ExprKind::Between, t);
                e->position = l->position;
                e->negated = negated;
                e->left = std::move(l);
                e->right = parseConcat();
                expectWord("AND");
                e->third = parseConcat();
                l = std::move(e);
                continue;
            }
            if (isWord("IN")) {
                const Token& t = advance();
                ExprPtr e = make(ExprKind::InList, t);
                e->position = l->position;
                e->negated = negated;
                e->left = std::move(l);
                expect(TokenKind::LeftParen, "'(' after IN");
                if (isWord("SELECT")) notSupported("a sub-query in IN");
                do {
                    e->list.push_back(parseConcat());
                } while (accept(TokenKind::Comma));
                expect(TokenKind::RightParen, "')' to close the IN list");
                l = std::move(e);
                continue;
            }
            return l;
        }
        }
        advance();
        if (isWord("ANY") || isWord("ALL") || isWord("SOME")) notSupported("a comparison with a sub-query");
        l = binary(op, std::move(l), parseConcat());
    }
}

ExprPtr Parser::parseConcat() {
    ExprPtr l = parseAdditive();
    while (accept(TokenKind::Ampersand)) l = binary(BinaryOp::Concat, std::move(l), parseAdditive());
    return l;
}

ExprPtr Parser::parseAdditive() {
    ExprPtr l = parseMultiplicative();
    while (true) {
        if (accept(TokenKind::Plus)) {
            l = binary(BinaryOp::Add, std::move(l), parseMultiplicative());
        } else if (accept(TokenKind::Minus)) {
            l = binary(BinaryOp::Subtract, std::move(l), parseMultiplicative());
        } else {
            return l;
        }
    }
}

ExprPtr Parser::parseMultiplicative() {
    ExprPtr l = parseUnary();
    while (true) {
        if (accept(TokenKind::Star)) {
            l = binary(BinaryOp::Multiply, std::move(l), parseUnary());
        } else if (accept(TokenKind::Slash)) {
            l = binary(BinaryOp::Divide, std::move(l), parseUnary());
        } else if (accept(TokenKind::Backslash)) {
            l = binary(BinaryOp::IntDivide, std::move(l), parseUnary());
        } else if (isWord("MOD")) {
            notSupported("the MOD operator");
        } else {
            return l;
        }
    }
}

ExprPtr Parser::parseUnary() {
    if (peek().kind == TokenKind::Minus) {
        const Token& t = advance();
        ExprPtr operand = parseUnary();
        // Fold the sign into a number literal so that -5 is one literal, as Jet sees it.
        if (operand->kind == ExprKind::Literal && operand->literal.isInt()) {
            operand->literal = Value(-operand->literal.asInt());
            operand->position = positionOf(t);
            return operand;
        }
        if (operand->kind == ExprKind::Literal && operand->literal.isDecimal()) {
            Decimal d = operand->literal.asDecimal();
            d.unscaled = -d.unscaled;
            operand->literal = Value(d);
            operand->position = positionOf(t);
            return operand;
        }
        if (operand->kind == ExprKind::Literal && operand->literal.isDouble()) {
            // No negative zero: its text, "-0.0", would read back as the exact number 0.0.
            const double negated = -operand->literal.asDouble();
            operand->literal = Value(negated == 0 ? 0.0 : negated);
            operand->position = positionOf(t);
            return operand;
        }
        ExprPtr e = make(ExprKind::Unary, t);
        e->unaryOp = UnaryOp::Negate;
        e->left = std::move(operand);
        return e;
    }
    if (peek().kind == TokenKind::Plus) {
        advance();
        return parseUnary();
    }
    return parsePrimary();
}

ExprPtr Parser::parseNumber(const Token& t) {
    ExprPtr e = make(ExprKind::Literal, t);
    const std::string& text = t.text;
    bool hasExponent = text.find_first_of("eE") != std::string::npos;
    if (!hasExponent && text.find('.') == std::string::npos) {
        std::int64_t n = 0;
        auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (ec == std::errc() && p == text.data() + text.size()) {
            e->literal = Value(n);
            return e;
        }
    }
    Decimal d;
    if (!hasExponent && parseDecimal(text, d)) {
        e->literal = Value(d);
        return e;
    }
    const auto v = textToDouble(text);
    if (!v) fail("Syntax error in " + clause_, t, "the number is too large");
    e->literal = Value(*v);
    return e;
}

ExprPtr Parser::parsePrimary() {
    const Token& t = peek();
    switch (t.kind) {
    case TokenKind::Number: advance(); return parseNumber(t);
    case TokenKind::String: {
        advance();
        ExprPtr e = make(ExprKind::Literal, t);
        e->literal = Value(t.text);
        return e;
    }
    case TokenKind::Date: {
        advance();
        DateTime d;
        if (!parseDateLiteral(t.text, d))
            fail("Syntax error in date in " + clause_, t, "'#" + t.text + "#' is not a valid date");
        ExprPtr e = make(ExprKind::Literal, t);
        e->literal = Value(d);
        return e;
    }
    case TokenKind::SystemVariable: {
        if (upper(t.text) != "IDENTITY") notSupported("the system variable @@" + t.text);
        advance();
        return make(ExprKind::Identity, t);
    }
    case TokenKind::Parameter: notSupported("a parameter marker '?'");
    case TokenKind::LeftParen: {
        advance();
        if (isWord("SELECT")) notSupported("a sub-query");
        ExprPtr e = parseExpr();
        expect(TokenKind::RightParen, "')'");
        return e;
    }
    case TokenKind::Identifier: {
        std::string word = upper(t.text);
        if (peek(1).kind == TokenKind::LeftParen) {
            if (word == "COUNT" && peek(2).kind == TokenKind::Star && peek(3).kind == TokenKind::RightParen) {
                advance();
                advance();
                advance();
                advance();
                return make(ExprKind::CountStar, t);
            }
            if (word == "COUNT" || word == "SUM" || word == "AVG" || word == "MIN" || word == "MAX" ||
                word == "FIRST" || word == "LAST" || word == "STDEV" || word == "VAR")
                notSupported("the aggregate function " + t.text + "()");
            if (word != "SELECT") notSupported("the function " + t.text + "()");
        }
        if (word == "NULL") {
            advance();
            return make(ExprKind::Literal, t);
        }
        // Jet's Boolean constants, as Access writes them into saved queries (=No, =Yes).
        if (word == "TRUE" || word == "FALSE" || word == "YES" || word == "NO" || word == "ON" || word == "OFF") {
            advance();
            ExprPtr e = make(ExprKind::Literal, t);
            e->literal = Value(word == "TRUE" || word == "YES" || word == "ON");
            return e;
        }
        if (word == "SELECT") notSupported("a sub-query");
        if (isReserved(word)) failIn("an expression");
        return parseColumnRef();
    }
    case TokenKind::QuotedName: return parseColumnRef();
    case TokenKind::Bang: notSupported("a reference with '!' (form or control reference)");
    default: failIn("an expression");
    }
}

ExprPtr Parser::parseColumnRef() {
    const Token& t = advance();
    ExprPtr e = make(ExprKind::Column, t);
    e->name = t.text;
    if (peek().kind == TokenKind::Bang) notSupported("a reference with '!' (form or control reference)");
    if (accept(TokenKind::Dot)) {
        if (!atName()) failIn("a column name after '.'");
        e->qualifier = e->name;
        e->name = advance().text;
        if (peek().kind == TokenKind::Dot) notSupported("a column name with more than one qualifier");
    }
    return e;
}

} // namespace jet::sql::detail
